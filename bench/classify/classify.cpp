// classify: values per second through column_classifier::add_text, one
// column kind at a time, beside the per-value cost of the refinement maps
// (num_map and dates_map) on the same values for scale.
//
// Each kind is a column of generated values held in memory, one after the
// other in one buffer as the fields of CSV lines lie, so the figures are the
// classifier's alone (no file reading). Each column is classified three times
// and the fastest run is printed.
//
// Usage: classify [values per column (default 2000000)]
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "column_classifier.hpp"
#include "dates_map.hpp"
#include "num_map.hpp"

namespace {

using clock_type = std::chrono::steady_clock;

struct xorshift {
  std::uint64_t state = 0x9E3779B97F4A7C15ull;
  std::uint64_t operator()() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  }
};

struct column_kind {
  const char* name;
  std::function<std::string(xorshift&, std::size_t)> make;
};

std::string format(const char* pattern, auto... args) {
  char text[128];
  const int n = std::snprintf(text, sizeof text, pattern, args...);
  return std::string(text, static_cast<std::size_t>(n));
}

const column_kind kinds[] = {
    {"int", [](xorshift& r, std::size_t) { return std::to_string(r() % 2000000000); }},
    {"bigint", [](xorshift& r,
                  std::size_t) { return std::to_string(5000000000ull + r() % 1000000000000ull); }},
    {"decimal",
     [](xorshift& r, std::size_t) {
       return format("%" PRIu64 ".%02u", r() % 1000000, static_cast<unsigned>(r() % 100));
     }},
    {"float (exponent)",
     [](xorshift& r, std::size_t) {
       return format("%u.%04ue-%u", static_cast<unsigned>(r() % 9 + 1),
                     static_cast<unsigned>(r() % 10000), static_cast<unsigned>(r() % 20));
     }},
    {"bit", [](xorshift& r, std::size_t) { return std::string(r() % 2 ? "true" : "FALSE"); }},
    {"date (ISO)",
     [](xorshift& r, std::size_t) {
       return format("%04u-%02u-%02u", static_cast<unsigned>(1990 + r() % 35),
                     static_cast<unsigned>(r() % 12 + 1), static_cast<unsigned>(r() % 28 + 1));
     }},
    {"date (d/m/y)",
     [](xorshift& r, std::size_t) {
       return format("%u/%u/%04u", static_cast<unsigned>(r() % 28 + 1),
                     static_cast<unsigned>(r() % 12 + 1), static_cast<unsigned>(1990 + r() % 35));
     }},
    {"datetime2(3)",
     [](xorshift& r, std::size_t) {
       return format("%04u-%02u-%02u %02u:%02u:%02u.%03u", static_cast<unsigned>(2000 + r() % 25),
                     static_cast<unsigned>(r() % 12 + 1), static_cast<unsigned>(r() % 28 + 1),
                     static_cast<unsigned>(r() % 24), static_cast<unsigned>(r() % 60),
                     static_cast<unsigned>(r() % 60), static_cast<unsigned>(r() % 1000));
     }},
    {"time",
     [](xorshift& r, std::size_t) {
       return format("%02u:%02u:%02u", static_cast<unsigned>(r() % 24),
                     static_cast<unsigned>(r() % 60), static_cast<unsigned>(r() % 60));
     }},
    {"text",
     [](xorshift& r, std::size_t) {
       static const char* words[] = {"alpha", "beta", "gamma", "delta", "epsilon"};
       return format("%s %" PRIu64, words[r() % 5], r() % 100000);
     }},
    {"codes (text at once)",
     [](xorshift& r, std::size_t) { return format("%05u", static_cast<unsigned>(r() % 10000)); }},
    {"numbers, text at the end",
     [](xorshift& r, std::size_t i) {
       return i == 0 ? std::string("n/a") : std::to_string(r() % 100000);
     }},
};

double seconds_since(clock_type::time_point start) {
  return std::chrono::duration<double>(clock_type::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t count = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 2000000;
  std::printf("%-26s %14s %10s %10s   %s\n", "column", "values/s", "ns/value", "maps ns",
              "verdict");
  double total_seconds = 0;
  std::size_t total_values = 0;
  for (const column_kind& kind : kinds) {
    xorshift random;
    std::vector<std::string> narrow;
    std::wstring pool;
    std::vector<std::wstring_view> wide;
    narrow.reserve(count);
    wide.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
      narrow.push_back(kind.make(random, count - 1 - i));  // the last value is index 0
      pool.append(narrow.back().begin(), narrow.back().end());
    }
    for (std::size_t i = 0, offset = 0; i < count; offset += narrow[i++].size())
      wide.push_back(std::wstring_view(pool).substr(offset, narrow[i].size()));

    double best = 1e30;
    column_verdict verdict;
    for (int run = 0; run < 3; ++run) {
      const auto start = clock_type::now();
      column_classifier classifier(L"bench");
      for (const std::wstring_view value : wide) classifier.add_text(value);
      const double seconds = seconds_since(start);
      if (seconds < best) best = seconds;
      verdict = classifier.verdict({});
    }

    // The maps, for scale: their per-value work on the same texts.
    const auto start = clock_type::now();
    types_map::map_entry numbers, dates;
    for (std::size_t i = 0; i < count; ++i) {
      num_map::add_value(numbers, narrow[i]);
      dates_map::add_value(dates, std::wstring(wide[i]));
    }
    const double maps = seconds_since(start);

    const double n = static_cast<double>(count);
    std::printf("%-26s %14.0f %10.1f %10.1f   %s\n", kind.name, n / best, best * 1e9 / n,
                maps * 1e9 / n, verdict.sql_type().c_str());
    total_seconds += best;
    total_values += count;
  }
  std::printf("%-26s %14.0f %10.1f\n", "all columns",
              static_cast<double>(total_values) / total_seconds,
              total_seconds * 1e9 / static_cast<double>(total_values));
  return 0;
}
