// Benchmark: reading a large .xlsx through dao_database::get_table, record by
// record, against xlsx2csv converting the same file.
//
//   read_xlsx [rows]            generate, read, compare (default 200000 rows)
//   read_xlsx generate N PATH   write an N-row, 10-column workbook
//   read_xlsx read PATH         read it through the dao_ layer, print figures
//
// Each step that is measured runs in a process of its own, so that the peak
// resident memory printed belongs to the reading alone.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "dao_database.hpp"
#include "dao_engine.hpp"
#include "tk_text.hpp"
#include "udb_recordset.hpp"
#include "xls_reader.hpp"

namespace {
using clock_type = std::chrono::steady_clock;

double seconds_since(clock_type::time_point start) {
  return std::chrono::duration<double>(clock_type::now() - start).count();
}

long peak_rss_kb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// Ten columns: integer, real, date, shared text (1,000 distinct), unique text,
// integer, date and time, real, boolean, shared text.
int generate(long rows, const std::string& path) {
  std::string sheet_path = path + ".sheet.xml";
  {
    std::ofstream sheet(sheet_path, std::ios::binary);
    sheet << "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
             "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
             "<sheetData><row r=\"1\">";
    const char* names[] = {"id",  "amount", "day",   "city", "code",
                           "qty", "stamp",  "ratio", "ok",   "note"};
    for (int c = 0; c < 10; ++c)
      sheet << "<c r=\"" << static_cast<char>('A' + c) << "1\" t=\"inlineStr\"><is><t>" << names[c]
            << "</t></is></c>";
    sheet << "</row>";
    char buf[1024];
    for (long r = 0; r < rows; ++r) {
      long row = r + 2;
      int n = std::snprintf(
          buf, sizeof buf,
          "<row r=\"%ld\"><c r=\"A%ld\"><v>%ld</v></c><c r=\"B%ld\"><v>%.4f</v></c>"
          "<c r=\"C%ld\" s=\"1\"><v>%ld</v></c><c r=\"D%ld\" t=\"s\"><v>%ld</v></c>"
          "<c r=\"E%ld\" t=\"s\"><v>%ld</v></c><c r=\"F%ld\"><v>%ld</v></c>"
          "<c r=\"G%ld\" s=\"2\"><v>%.6f</v></c><c r=\"H%ld\"><v>%.6f</v></c>"
          "<c r=\"I%ld\" t=\"b\"><v>%ld</v></c><c r=\"J%ld\" t=\"s\"><v>%ld</v></c></row>",
          row, row, r + 1, row, (r % 100000) * 1.25 - 3000, row, 40000 + r % 5000, row, r % 1000,
          row, 1000 + r, row, r % 977, row, 44000 + (r % 7000) + (r % 86400) / 86400.0, row,
          (r % 1000) / 7.0, row, r % 2, row, r % 50);
      sheet.write(buf, n);
    }
    sheet << "</sheetData></worksheet>";
  }
  std::string strings = "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">";
  for (long i = 0; i < 1000 + rows; ++i)
    strings += i < 1000 ? "<si><t>city " + std::to_string(i) + "</t></si>"
                        : "<si><t>code-" + std::to_string(i * 7919 % 1000003) + "</t></si>";
  strings += "</sst>";
  const std::string rels =
      "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
      "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
      "relationships/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>";
  const std::string workbook =
      "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
      "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
      "<sheets><sheet name=\"Data\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>";
  const std::string workbook_rels =
      "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
      "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
      "relationships/worksheet\" Target=\"worksheets/sheet1.xml\"/>"
      "<Relationship Id=\"rId2\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
      "relationships/sharedStrings\" Target=\"sharedStrings.xml\"/>"
      "<Relationship Id=\"rId3\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
      "relationships/styles\" Target=\"styles.xml\"/></Relationships>";
  const std::string styles =
      "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
      "<numFmts count=\"1\"><numFmt numFmtId=\"164\" formatCode=\"yyyy-mm-dd hh:mm:ss\"/></numFmts>"
      "<cellXfs count=\"3\"><xf numFmtId=\"0\"/><xf numFmtId=\"14\"/><xf "
      "numFmtId=\"164\"/></cellXfs>"
      "</styleSheet>";
  const std::string types =
      "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
      "<Default Extension=\"rels\" "
      "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
      "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
      "<Override PartName=\"/xl/workbook.xml\" "
      "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
      "<Override PartName=\"/xl/worksheets/sheet1.xml\" "
      "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>"
      "<Override PartName=\"/xl/sharedStrings.xml\" "
      "ContentType=\"application/"
      "vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml\"/>"
      "<Override PartName=\"/xl/styles.xml\" "
      "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml\"/>"
      "</Types>";

  std::filesystem::remove(path);
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (archive == nullptr) return 1;
  auto add = [&](const char* name, const std::string& text) {
    zip_source_t* source = zip_source_buffer(archive, text.data(), text.size(), 0);
    zip_file_add(archive, name, source, ZIP_FL_OVERWRITE);
  };
  add("[Content_Types].xml", types);
  add("_rels/.rels", rels);
  add("xl/workbook.xml", workbook);
  add("xl/_rels/workbook.xml.rels", workbook_rels);
  add("xl/styles.xml", styles);
  add("xl/sharedStrings.xml", strings);
  zip_file_add(archive, "xl/worksheets/sheet1.xml",
               zip_source_file(archive, sheet_path.c_str(), 0, -1), ZIP_FL_OVERWRITE);
  int rc = zip_close(archive);
  std::filesystem::remove(sheet_path);
  return rc == 0 ? 0 : 1;
}

int read(const std::string& path) {
  auto start = clock_type::now();
  long records = 0, cells = 0;
  double checksum = 0;
  {
    dao_engine engine(0);
    engine.set_version_if(3);
    std::unique_ptr<dao_database> db = xls_reader::open_xls(engine, tk_a2w(path), true);
    std::unique_ptr<udb_recordset> rs = db->get_table(L"Data$", 1);
    while (!rs->is_eof()) {
      udb_record* record = rs->create_record();
      for (std::size_t i = 0; i < record->field_count(); ++i) {
        const udb_field& f = record->field_at(i);
        if (f.variant.vt == VT_R8) checksum += f.variant.dblVal;
        ++cells;
      }
      ++records;
      rs->move_next();
    }
  }
  double elapsed = seconds_since(start);
  std::printf(
      "records=%ld cells=%ld seconds=%.3f cells_per_second=%.0f peak_rss_kb=%ld checksum=%.1f\n",
      records, cells, elapsed, cells / elapsed, peak_rss_kb(), checksum);
  return 0;
}

double children_cpu_seconds() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct run_time {
  double wall = -1;
  double cpu = -1;  // user + system time of the command's processes
};

// Runs a command line; its wall and processor time (negative on failure).
// Processor time is the steadier figure on a machine shared with others.
run_time timed(const std::string& command) {
  double cpu_before = children_cpu_seconds();
  auto start = clock_type::now();
  int rc = std::system(command.c_str());
  run_time t;
  if (rc != 0) return t;
  t.wall = seconds_since(start);
  t.cpu = children_cpu_seconds() - cpu_before;
  return t;
}
}  // namespace

int main(int argc, char** argv) {
  std::string self = argv[0];
  if (argc >= 4 && std::string(argv[1]) == "generate") return generate(std::atol(argv[2]), argv[3]);
  if (argc >= 3 && std::string(argv[1]) == "read") return read(argv[2]);
  long rows = argc >= 2 ? std::atol(argv[1]) : 200000;

  std::string dir =
      (std::filesystem::temp_directory_path() / ("read_xlsx-" + std::to_string(getpid()))).string();
  std::filesystem::create_directories(dir);
  std::string big = dir + "/big.xlsx", small = dir + "/small.xlsx";
  std::printf("generating %ld x 10 and %ld x 10 workbooks in %s\n", rows, rows / 4, dir.c_str());
  if (timed(self + " generate " + std::to_string(rows) + " " + big).wall < 0 ||
      timed(self + " generate " + std::to_string(rows / 4) + " " + small).wall < 0) {
    std::fprintf(stderr, "generation failed\n");
    return 1;
  }
  std::printf("file size: %.1f MB (%ld rows), %.1f MB (%ld rows)\n",
              std::filesystem::file_size(big) / 1e6, rows, std::filesystem::file_size(small) / 1e6,
              rows / 4);

  std::printf("-- dao_ layer, %ld rows:\n", rows / 4);
  std::fflush(stdout);
  timed(self + " read " + small);
  std::printf("-- dao_ layer, %ld rows:\n", rows);
  std::fflush(stdout);
  run_time ours = timed(self + " read " + big);
  std::printf("-- xlsx2csv, %ld rows:\n", rows);
  std::fflush(stdout);
  run_time theirs = timed("xlsx2csv " + big + " " + dir + "/big.csv");
  if (ours.wall < 0 || theirs.wall < 0) {
    std::fprintf(stderr, "a reader failed (is xlsx2csv installed?)\n");
    return 1;
  }
  std::printf("wall time: dao_ layer %.2f s, xlsx2csv %.2f s, ratio %.1fx\n", ours.wall,
              theirs.wall, theirs.wall / ours.wall);
  std::printf("cpu time:  dao_ layer %.2f s, xlsx2csv %.2f s, ratio %.1fx\n", ours.cpu, theirs.cpu,
              theirs.cpu / ours.cpu);
  const double cells = rows * 10.0;
  std::printf("cells per second (wall, whole process): %.0f; on processor time: %.0f\n",
              cells / ours.wall, cells / ours.cpu);
  // Judged by: 3 M cells/s through the records, 10 x xlsx2csv's time.
  std::printf("ratio to 3 M cells/s: %.2f (wall), %.2f (processor time)\n", cells / ours.wall / 3e6,
              cells / ours.cpu / 3e6);
  std::printf("ratio to 10 x xlsx2csv: %.2f (wall), %.2f (processor time)\n",
              theirs.wall / ours.wall / 10, theirs.cpu / ours.cpu / 10);
  std::filesystem::remove_all(dir);
  return 0;
}
