// Interpreter speed: a host call of a short double function with eight arguments (variadic and
// prepared), a recursive fib(27) in the script language (beside the same function in Lua 5.4),
// and a script loop that calls a bound eight-argument native.
#include "ast_sci.h"

#include <benchmark/benchmark.h>

#include <cstdio>

#ifdef TORVU_BENCH_LUA
extern "C" {
#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>
}
#endif

namespace {

const char* const kScript = R"(
double f8(double a, double b, double c, double d, double e, double f, double g, double h) {
  double s = a + b + c + d;
  return s * (e * f + g * h);
}

int fib(int n) {
  if (n < 2) return n;
  return fib(n - 1) + fib(n - 2);
}

double native8(double a, double b, double c, double d, double e, double f, double g, double h);

double call_native(int n) {
  double s = 0;
  double a = 1, b = 2, c = 3, d = 4, e = 5, f = 6, g = 7, h = 8;
  for (int i = 0; i < n; i++) s += native8(a, b, c, d, e, f, g, h);
  return s;
}
)";

double native8(double* a, double* b, double* c, double* d, double* e, double* f, double* g, double* h)
{
  return *a + *b + *c + *d + *e + *f + *g + *h;
}

ast_sci_namespace bench_namespace()
{
  static ast_sci_namespace ns = [] {
    ast_sci_namespace n = ast_sci_open_namespace();
    if (ast_sci_parse_string(kScript) != 0) std::fprintf(stderr, "benchmark script does not compile\n");
    ast_sci_bind_extern("native8", native8);
    return n;
  }();
  return ns;
}

ast_sci_symbol* function(const char* name)
{
  ast_sci_set_namespace(bench_namespace());
  return ast_sci_find_function(name);
}

void BM_HostCallEightDoubles(benchmark::State& state)
{
  ast_sci_symbol* f = function("f8");
  double v[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  double sum = 0;
  for (auto _ : state) {
    sum += ast_sci_call_function(f, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7]).d;
  }
  benchmark::DoNotOptimize(sum);
}
BENCHMARK(BM_HostCallEightDoubles)->Iterations(1000000);

// The way a per-particle law is called: checked once, then called through an address array.
void BM_PreparedCallEightDoubles(benchmark::State& state)
{
  static const ast_sci_type kDouble{AST_SCI_DOUBLE, false, 0};
  const ast_sci_type types[8] = {kDouble, kDouble, kDouble, kDouble, kDouble, kDouble, kDouble, kDouble};
  ast_sci_prepared_call call = ast_sci_prepare_call(function("f8"), AST_SCI_DOUBLE, types, 8);
  if (!call) state.SkipWithError("f8 refused");
  double v[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  void* args[8] = {&v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7]};
  double sum = 0;
  for (auto _ : state) sum += ast_sci_call_prepared(call, args).d;
  benchmark::DoNotOptimize(sum);
}
BENCHMARK(BM_PreparedCallEightDoubles)->Iterations(1000000);

void BM_ScriptFib27(benchmark::State& state)
{
  ast_sci_symbol* f = function("fib");
  int n = 27;
  int result = 0;
  for (auto _ : state) result = ast_sci_call_function(f, &n).i;
  if (result != 196418) state.SkipWithError("wrong fib(27)");
}
BENCHMARK(BM_ScriptFib27)->Unit(benchmark::kMillisecond);

#ifdef TORVU_BENCH_LUA
void BM_LuaFib27(benchmark::State& state)
{
  lua_State* L = luaL_newstate();
  luaL_openlibs(L);
  luaL_dostring(L, "function fib(n) if n < 2 then return n end return fib(n - 1) + fib(n - 2) end");
  lua_Integer result = 0;
  for (auto _ : state) {
    lua_getglobal(L, "fib");
    lua_pushinteger(L, 27);
    lua_call(L, 1, 1);
    result = lua_tointeger(L, -1);
    lua_pop(L, 1);
  }
  lua_close(L);
  if (result != 196418) state.SkipWithError("wrong fib(27)");
}
BENCHMARK(BM_LuaFib27)->Unit(benchmark::kMillisecond);
#endif

// One iteration is a script loop of 10^6 calls of the native.
void BM_ScriptCallsNativeEightDoubles(benchmark::State& state)
{
  ast_sci_symbol* f = function("call_native");
  int n = 1000000;
  double result = 0;
  for (auto _ : state) result = ast_sci_call_function(f, &n).d;
  if (result != 36.0 * n) state.SkipWithError("wrong sum");
}
BENCHMARK(BM_ScriptCallsNativeEightDoubles)->Unit(benchmark::kMillisecond);

}  // namespace
