#include "xml_push_parser.hpp"

#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <cstring>
#include <exception>
#include <utility>
#include <vector>

#include "dao_exception.hpp"
#include "tk_trace.hpp"

struct xml_push_parser::state {
  xml_handler* handler = nullptr;
  std::string part;
  std::exception_ptr error;  // a handler's exception, raised again after the call
  std::string reason;        // why the parser stopped on its own
  std::vector<xml_attribute> attributes;
  _xmlParserCtxt* ctxt = nullptr;
};

namespace {
std::string_view view(const xmlChar* text) {
  return text ? std::string_view(reinterpret_cast<const char*>(text)) : std::string_view();
}

template <typename F>
void guarded(void* user, F&& action) {
  auto* s = static_cast<xml_push_parser::state*>(user);
  if (s->error) return;
  try {
    action(*s);
  } catch (...) {
    s->error = std::current_exception();
    xmlStopParser(s->ctxt);
  }
}

void on_start(void* user, const xmlChar* localname, const xmlChar*, const xmlChar*, int,
              const xmlChar**, int nb_attributes, int, const xmlChar** attributes) {
  guarded(user, [&](xml_push_parser::state& s) {
    s.attributes.clear();
    for (int i = 0; i < nb_attributes; ++i) {
      const xmlChar** a = attributes + 5 * i;
      const char* begin = reinterpret_cast<const char*>(a[3]);
      const char* end = reinterpret_cast<const char*>(a[4]);
      s.attributes.push_back(xml_attribute{
          view(a[0]), view(a[2]), std::string_view(begin, static_cast<std::size_t>(end - begin))});
    }
    s.handler->on_start(view(localname), s.attributes.data(), s.attributes.size());
  });
}

void on_end(void* user, const xmlChar* localname, const xmlChar*, const xmlChar*) {
  guarded(user, [&](xml_push_parser::state& s) { s.handler->on_end(view(localname)); });
}

void on_text(void* user, const xmlChar* text, int length) {
  guarded(user, [&](xml_push_parser::state& s) {
    s.handler->on_text(
        std::string_view(reinterpret_cast<const char*>(text), static_cast<std::size_t>(length)));
  });
}

void on_dtd(void* user, const xmlChar*, const xmlChar*, const xmlChar*) {
  auto* s = static_cast<xml_push_parser::state*>(user);
  s->reason = "a document type declaration";
  xmlStopParser(s->ctxt);
}

void on_error(void* user, xmlError* error) {
  auto* s = static_cast<xml_push_parser::state*>(user);
  if (s->reason.empty() && error != nullptr && error->level >= XML_ERR_ERROR && error->message)
    s->reason = error->message;
}
}  // namespace

void xml_push_parser::ctxt_deleter::operator()(_xmlParserCtxt* ctxt) const {
  if (ctxt->myDoc != nullptr) xmlFreeDoc(ctxt->myDoc);
  xmlFreeParserCtxt(ctxt);
}

xml_push_parser::xml_push_parser(xml_handler& handler, std::string part)
    : state_(std::make_unique<state>()) {
  state_->handler = &handler;
  state_->part = std::move(part);
  xmlSAXHandler sax;
  std::memset(&sax, 0, sizeof sax);
  sax.initialized = XML_SAX2_MAGIC;
  sax.startElementNs = on_start;
  sax.endElementNs = on_end;
  sax.characters = on_text;
  sax.cdataBlock = on_text;
  sax.internalSubset = on_dtd;
  sax.externalSubset = on_dtd;
  sax.serror = on_error;
  xmlParserCtxtPtr ctxt =
      xmlCreatePushParserCtxt(&sax, state_.get(), nullptr, 0, state_->part.c_str());
  if (ctxt == nullptr) throw std::bad_alloc();
  ctxt_.reset(ctxt);
  state_->ctxt = ctxt;
  xmlCtxtUseOptions(ctxt, XML_PARSE_NONET | XML_PARSE_NOWARNING | XML_PARSE_NOERROR);
}

xml_push_parser::~xml_push_parser() = default;
xml_push_parser::xml_push_parser(xml_push_parser&& other) noexcept = default;
xml_push_parser& xml_push_parser::operator=(xml_push_parser&& other) noexcept = default;

void xml_push_parser::feed(const char* data, std::size_t size, bool last) {
  constexpr std::size_t step = 1 << 20;  // xmlParseChunk takes an int
  do {
    std::size_t now = size < step ? size : step;
    bool end = last && now == size;
    int rc = xmlParseChunk(ctxt_.get(), data, static_cast<int>(now), end ? 1 : 0);
    if (state_->error) std::rethrow_exception(state_->error);
    if (rc != 0 || !state_->reason.empty() || ctxt_->disableSAX) {
      std::string reason = state_->reason.empty() ? "malformed XML" : state_->reason;
      while (!reason.empty() && (reason.back() == '\n' || reason.back() == ' ')) reason.pop_back();
      throw dao_exception(
          dao_exception::not_a_workbook,
          "The part '" + state_->part + "' of the workbook cannot be read: " + reason);
    }
    data += now;
    size -= now;
  } while (size > 0);
}

std::string_view xml_push_parser::find(const xml_attribute* attributes, std::size_t count,
                                       std::string_view name) {
  for (std::size_t i = 0; i < count; ++i)
    if (attributes[i].name == name) return attributes[i].value;
  return {};
}
