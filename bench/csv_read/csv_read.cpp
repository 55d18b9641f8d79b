// csv_read: how fast a CSV file is read and refined, and in how much memory.
//
// Generates CSV files of about 20 MB and 200 MB (10 columns: integers, 64-bit
// integers, decimals, numbers with exponents, dates, timestamps, times, plain
// text, quoted text with delimiters and doubled quotes, codes with leading
// zeros), then reads each twice through csv_file record by record, each time
// in a child process so that its peak resident memory and processor time are
// its own: once looking at every value of every record (the reading alone,
// judged against 150 MB/s), once also feeding both refinement maps as the
// conversion driver does. Prints MB/s (wall clock and processor time),
// records and peak RSS per run; memory must not grow with the file size.
//
// Usage: csv_read [folder for the generated files (default: the temporary
//        folder)] [sizes in MB (default: 20 200)]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "csv_file.hpp"
#include "dates_map.hpp"
#include "num_map.hpp"
#include "tk_exception.hpp"

namespace {

namespace fs = std::filesystem;

std::uint64_t next(std::uint64_t& state) {
  state ^= state << 13;
  state ^= state >> 7;
  state ^= state << 17;
  return state;
}

void generate(const fs::path& path, std::uint64_t target_bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << "id,big,amount,ratio,day,stamp,clock,name,note,code\r\n";
  std::uint64_t state = 0x9E3779B97F4A7C15ull;
  static const char* names[] = {"alpha", "beta", "gamma", "delta", "epsilon", "zeta", "eta"};
  char line[512];
  std::uint64_t written = 0;
  for (std::uint64_t row = 1; written < target_bytes; ++row) {
    const std::uint64_t r = next(state);
    const int n = std::snprintf(
        line, sizeof line,
        "%" PRIu64 ",%" PRIu64
        ",%u.%02u,%u.%ue-%u,%04u-%02u-%02u,%04u-%02u-%02u %02u:%02u:%02u,"
        "%02u:%02u:%02u,%s %" PRIu64 ",\"%s, \"\"quoted\"\" %u\",%05u\r\n",
        row, static_cast<std::uint64_t>(5000000000ull + r % 1000000000ull),
        static_cast<unsigned>(r % 100000), static_cast<unsigned>(r % 100),
        static_cast<unsigned>(r % 9 + 1), static_cast<unsigned>(r % 1000),
        static_cast<unsigned>(r % 5 + 1), static_cast<unsigned>(1990 + r % 35),
        static_cast<unsigned>(r % 12 + 1), static_cast<unsigned>(r % 28 + 1),
        static_cast<unsigned>(2000 + r % 25), static_cast<unsigned>((r >> 8) % 12 + 1),
        static_cast<unsigned>((r >> 12) % 28 + 1), static_cast<unsigned>((r >> 16) % 24),
        static_cast<unsigned>((r >> 20) % 60), static_cast<unsigned>((r >> 26) % 60),
        static_cast<unsigned>((r >> 32) % 24), static_cast<unsigned>((r >> 36) % 60),
        static_cast<unsigned>((r >> 42) % 60), names[r % 7], r % 100000, names[(r >> 3) % 7],
        static_cast<unsigned>(r % 1000), static_cast<unsigned>(r % 10000));
    out.write(line, n);
    written += static_cast<std::uint64_t>(n);
  }
}

constexpr double target_mb_per_s = 150;  // reading through the records

double children_cpu_seconds() {
  struct rusage usage {};
  ::getrusage(RUSAGE_CHILDREN, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Processor time Python's csv module takes to read the file, every field of
// every row; negative when it cannot run.
double python_csv_seconds(const fs::path& path) {
  const std::string command =
      "/usr/bin/python3 -c \"import csv,sys\nn=0\nwith open(sys.argv[1], newline='', "
      "encoding='utf-8') as f:\n  for row in csv.reader(f):\n    n+=len(row)\n\" '" +
      path.string() + "'";
  const double before = children_cpu_seconds();
  if (std::system(command.c_str()) != 0) return -1;
  return children_cpu_seconds() - before;
}

// Runs in the child: reads the file, prints the figures.
int read_file(const fs::path& path, bool b_refine) {
  try {
    const auto start = std::chrono::steady_clock::now();
    csv_file file(path.wstring(), ',', true);
    num_map numbers(L"bench", file.get_schema());
    dates_map dates(L"bench", file.get_schema(), false);
    std::uint64_t records = 0, characters = 0;
    while (!file.is_eof()) {
      const udb_record* record = file.create_record();
      if (b_refine) {
        dates.add_rec_stat(*record);
        numbers.add_rec_stat(*record);
      } else {
        // Every value is looked at, as a consumer of the records would.
        for (std::size_t i = 0; i < record->field_count(); ++i)
          characters += record->field_at(i).variant.bstrVal.size();
      }
      ++records;
      file.move_next();
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double mb = static_cast<double>(file.get_file_size()) / (1024.0 * 1024.0);
    std::printf("  %-24s %8.1f MB  %9" PRIu64 " records  %6.2f s  %7.1f MB/s\n",
                path.filename().c_str(), mb, records, seconds, mb / seconds);
    if (b_refine) {
      std::printf("  verdicts:");
      for (std::size_t i = 0; i < numbers.get_entries().size(); ++i)
        std::printf(" %ls=%s/%s", numbers.get_entries()[i].name.c_str(),
                    num_map::state_name(numbers.get_entries()[i].state),
                    dates_map::state_name(dates.get_entries()[i].state));
      std::printf("\n");
    } else {
      std::printf("  characters in values: %" PRIu64 "\n", characters);
    }
    std::fflush(stdout);
    return 0;
  } catch (const tk_exception& e) {
    std::fprintf(stderr, "csv_read: %s\n", e.what());
    return 1;
  }
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path folder = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path();
  std::vector<unsigned> sizes;
  for (int i = 2; i < argc; ++i) sizes.push_back(static_cast<unsigned>(std::atoi(argv[i])));
  if (sizes.empty()) sizes = {20, 200};

  int status = 0;
  for (const unsigned size : sizes) {
    const fs::path path = folder / ("tessaly_bench_" + std::to_string(size) + "mb.csv");
    generate(path, static_cast<std::uint64_t>(size) * 1024 * 1024);
    for (const bool b_refine : {false, true}) {
      std::printf("%s, %u MB:\n", b_refine ? "records and both refinement maps" : "records alone",
                  size);
      std::fflush(stdout);
      const pid_t child = ::fork();
      if (child < 0) {
        std::perror("fork");
        return 1;
      }
      if (child == 0) std::_Exit(read_file(path, b_refine));
      int child_status = 0;
      struct rusage usage {};
      ::wait4(child, &child_status, 0, &usage);
      // Processor time is steadier than the wall clock on a shared machine.
      const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
      const double rate = static_cast<double>(size) / cpu;
      std::printf("  processor time: %.2f s (%.1f MB/s)\n", cpu, rate);
      std::printf("  peak resident memory: %.1f MB\n",
                  static_cast<double>(usage.ru_maxrss) / 1024.0);
      if (!b_refine) {
        const double python = python_csv_seconds(path);
        std::printf("  ratio to the %.0f MB/s target: %.2f\n", target_mb_per_s,
                    rate / target_mb_per_s);
        if (python > 0)
          std::printf("  Python's csv module: %.2f s (%.1f MB/s); ratio %.2f\n", python,
                      static_cast<double>(size) / python, python / cpu);
      }
      if (!WIFEXITED(child_status) || WEXITSTATUS(child_status) != 0) status = 1;
    }
    fs::remove(path);
  }
  return status;
}
