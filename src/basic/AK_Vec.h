// Small geometric records shared by the mesh, the scene and the simulation.
#pragma once

#include <cmath>

#include "AK_String.h"

struct AK_Vec2 {
  double x = 0, y = 0;
};

struct AK_Vec3 {
  double x = 0, y = 0, z = 0;

  AK_Vec3() = default;
  AK_Vec3(double ax, double ay, double az) : x(ax), y(ay), z(az) {}

  AK_Vec3 operator+(const AK_Vec3& o) const { return {x + o.x, y + o.y, z + o.z}; }
  AK_Vec3 operator-(const AK_Vec3& o) const { return {x - o.x, y - o.y, z - o.z}; }
  AK_Vec3 operator*(double s) const { return {x * s, y * s, z * s}; }
  AK_Vec3& operator+=(const AK_Vec3& o) { x += o.x; y += o.y; z += o.z; return *this; }
  AK_Vec3& operator-=(const AK_Vec3& o) { x -= o.x; y -= o.y; z -= o.z; return *this; }
  AK_Vec3& operator*=(double s) { x *= s; y *= s; z *= s; return *this; }
  bool operator==(const AK_Vec3& o) const { return x == o.x && y == o.y && z == o.z; }
  double Dot(const AK_Vec3& o) const { return x * o.x + y * o.y + z * o.z; }
  AK_Vec3 Cross(const AK_Vec3& o) const
  {
    return {y * o.z - z * o.y, z * o.x - x * o.z, x * o.y - y * o.x};
  }
  double Length() const { return std::sqrt(x * x + y * y + z * z); }
};

// A named point list: what the line-file readers fill and the polyline classes consume.
struct AK_NamedPolyline {
  AK_Array<AK_Vec3> points;
  AK_String text;
};
