// Specific enthalpy of snow: 0 is ice at 0 degC; below it the ice is colder, above it the
// snow first takes up the latent heat of melting as liquid water, then the water warms.
// The workspace binds these three functions into the script interpreter.
#pragma once

constexpr double SW_SpecificHeatIce = 2050;      // J/(kg K)
constexpr double SW_SpecificHeatWater = 4187;    // J/(kg K)
constexpr double SW_LatentHeatMelting = 333500;  // J/kg

// Temperature in degC of snow with the specific enthalpy h (J/kg).
double TemperatureFromEnthalpy(double h);
// Mass fraction of liquid water, 0 .. 1.
double WaterMassFractionFromEnthalpy(double h);
// Specific enthalpy of snow at temperature T (degC) with water mass fraction w.
double EnthalpyFromTemperatureAndWaterMassFraction(double T, double w);
