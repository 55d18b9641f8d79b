// xml_push_parser: libxml2's SAX2 push parser, fed chunk by chunk.
//
// The workbook's XML parts are parsed while they are decompressed, so a sheet
// is never held whole. Element and attribute names reach the handler without
// their namespace prefix: transitional and Strict OOXML use different
// namespaces for the same names, and the reader accepts both. The parser
// never touches the network and refuses any document type declaration, so
// no entity can be declared, let alone expanded.
// Owns the xmlParserCtxt (freed on destruction). Final, movable, not
// copyable; the handler must outlive the parser. Not thread-safe.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

struct _xmlParserCtxt;

// One attribute of a start tag: local name, namespace URI and value.
struct xml_attribute {
  std::string_view name;
  std::string_view uri;
  std::string_view value;
};

class xml_handler {
 public:
  virtual ~xml_handler() = default;
  virtual void on_start(std::string_view name, const xml_attribute* attributes,
                        std::size_t count) = 0;
  virtual void on_end(std::string_view name) = 0;
  virtual void on_text(std::string_view text) = 0;
};

class xml_push_parser final {
 public:
  // `part` names the part in error messages.
  xml_push_parser(xml_handler& handler, std::string part);
  ~xml_push_parser();
  xml_push_parser(xml_push_parser&& other) noexcept;
  xml_push_parser& operator=(xml_push_parser&& other) noexcept;
  xml_push_parser(const xml_push_parser&) = delete;
  xml_push_parser& operator=(const xml_push_parser&) = delete;

  // Parses the next bytes; `last` ends the document. Malformed XML or a
  // handler's exception raises dao_exception 3274 (the handler's own
  // exception is passed on unchanged).
  void feed(const char* data, std::size_t size, bool last);

  // The value of an attribute by local name, "" when absent.
  static std::string_view find(const xml_attribute* attributes, std::size_t count,
                               std::string_view name);

  struct state;  // shared with the libxml2 callbacks

 private:
  struct ctxt_deleter {
    void operator()(_xmlParserCtxt* ctxt) const;
  };
  std::unique_ptr<state> state_;
  std::unique_ptr<_xmlParserCtxt, ctxt_deleter> ctxt_;
};
