#include "SW_Enthalpy.h"

double TemperatureFromEnthalpy(double h)
{
  if (h < 0) return h / SW_SpecificHeatIce;
  if (h > SW_LatentHeatMelting) return (h - SW_LatentHeatMelting) / SW_SpecificHeatWater;
  return 0;
}

double WaterMassFractionFromEnthalpy(double h)
{
  double w = h / SW_LatentHeatMelting;
  return w < 0 ? 0 : (w > 1 ? 1 : w);
}

double EnthalpyFromTemperatureAndWaterMassFraction(double T, double w)
{
  return w * SW_LatentHeatMelting + T * (T < 0 ? SW_SpecificHeatIce : SW_SpecificHeatWater);
}
