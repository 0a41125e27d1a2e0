#include <gtest/gtest.h>

#include "SW_Enthalpy.h"

TEST(Enthalpy, TemperatureWaterAndBack)
{
  struct Row { double h, T, w; };
  const Row rows[] = {{-20500, -10, 0}, {0, 0, 0}, {333500 / 2.0, 0, 0.5}, {333500, 0, 1},
                      {333500 + 10 * 4187.0, 10, 1}, {-1000, -1000 / 2050.0, 0}, {400000, 66500 / 4187.0, 1}};
  for (const Row& r : rows) {
    EXPECT_DOUBLE_EQ(TemperatureFromEnthalpy(r.h), r.T) << r.h;
    EXPECT_DOUBLE_EQ(WaterMassFractionFromEnthalpy(r.h), r.w) << r.h;
    // Outside the melting plateau temperature and water content give the enthalpy back.
    if (r.h <= 0 || r.h >= 333500) {
      EXPECT_NEAR(EnthalpyFromTemperatureAndWaterMassFraction(r.T, r.w), r.h, 1e-9) << r.h;
    }
  }
  EXPECT_EQ(EnthalpyFromTemperatureAndWaterMassFraction(0, 0.5), 333500 / 2.0);
}
