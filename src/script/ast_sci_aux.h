// Natives of the built-in library. Each follows the native binding contract: one pointer per
// argument, the result by value. Character arrays are bounded by the size the interpreter
// reports for them (ast_sci_array_size); natives never write past it.
#pragma once

#include <cstddef>

// Mathematics
double ast_sci_sqrt(double* x);
double ast_sci_pow(double* x, double* y);
double ast_sci_exp(double* x);
double ast_sci_log(double* x);
double ast_sci_log10(double* x);
double ast_sci_sin(double* x);
double ast_sci_cos(double* x);
double ast_sci_tan(double* x);
double ast_sci_asin(double* x);
double ast_sci_acos(double* x);
double ast_sci_atan(double* x);
double ast_sci_atan2(double* y, double* x);
double ast_sci_sinh(double* x);
double ast_sci_cosh(double* x);
double ast_sci_tanh(double* x);
double ast_sci_fabs(double* x);
double ast_sci_floor(double* x);
double ast_sci_ceil(double* x);
double ast_sci_fmod(double* x, double* y);
double ast_sci_fmin(double* x, double* y);
double ast_sci_fmax(double* x, double* y);
int ast_sci_abs(int* x);

// Strings, bounded by the array sizes
int ast_sci_strlen(char* s);
void ast_sci_strcpy(char* destination, char* source);
void ast_sci_strncpy(char* destination, char* source, int* n);
void ast_sci_strcat(char* destination, char* source);
int ast_sci_strcmp(char* a, char* b);
int ast_sci_strncmp(char* a, char* b, int* n);
int ast_sci_strstr(char* s, char* t);  // position of t in s, or -1
int ast_sci_atoi(char* s);
double ast_sci_atof(char* s);

// Pauses for the given number of seconds (nothing for zero, negative or NaN).
void ast_sci_sleep(double* seconds);

// Locale-independent number parsing shared with sscanf: reads a floating-point number from the
// start of [begin, end) (after optional white space and sign); returns the characters used, 0
// when there is no number.
size_t ast_sci_parse_double(const char* begin, const char* end, double& value);
