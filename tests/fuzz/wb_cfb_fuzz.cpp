// Fuzz target: the compound-file reader. Opens the container and reads every
// top-level stream; each must read back exactly its size.
#include <cstdint>
#include <vector>

#include "cfb_reader.hpp"
#include "wb_fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  wb_bytes bytes = wb_bytes::from_buffer(std::vector<std::uint8_t>(data, data + size));
  try {
    cfb_reader container(bytes);
    for (const auto& name : container.stream_names()) {
      if (!container.has_stream(name)) continue;  // a storage, not a stream
      cfb_stream stream = container.open(name);
      FUZZ_CHECK(stream.size() <= (static_cast<std::uint64_t>(size) + 4096) * 2);
      std::vector<std::uint8_t> buffer(4096);
      std::uint64_t total = 0;
      for (std::size_t got; (got = stream.read(buffer.data(), buffer.size())) > 0;) total += got;
      FUZZ_CHECK(total == stream.size());
    }
  } catch (const dao_exception& e) {
    FUZZ_CHECK(e.number() == 3274);
  }
  return 0;
}
