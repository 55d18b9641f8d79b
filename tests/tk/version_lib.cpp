// A shared library exporting DllGetVersion, for get_dll_version's test.
#include <cstdint>

extern "C" __attribute__((visibility("default"))) int DllGetVersion(std::uint32_t* info) {
  if (info[0] != 20) return 1;  // the caller must fill in the record's size
  info[1] = 5;   // major
  info[2] = 80;  // minor
  return 0;
}
