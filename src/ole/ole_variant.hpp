// ole_variant: the value that carries every cell from a source to SQL Server.
//
// An OLE Automation VARIANT tagged with its VARTYPE, plus two stores the rest
// of the system relies on: 64-bit integers live in i8_value / ui8_value (the
// VARIANT then holds only the tag), and a date is kept broken down in
// systemtime beside the VARIANT's date number; systemtime is what printing and
// conversion read. The value owns its text and byte-array payloads; copies
// are deep and moves leave the source VT_EMPTY. Numeric values never allocate.
// Clearing a value, or giving it another one, keeps the memory of its text
// (and byte array) for the next text put in it: a reader that refills one
// row of values per record allocates nothing once the row has seen its
// longest texts.
// One value is not safe to share between threads while one of them writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ole_exceptions.hpp"
#include "ole_types.hpp"

class ole_variant {
 public:
  ole_variant() = default;
  explicit ole_variant(bool value);
  explicit ole_variant(char value);
  explicit ole_variant(unsigned char value);  // a byte
  explicit ole_variant(short value);
  explicit ole_variant(unsigned short value);
  explicit ole_variant(int value);
  explicit ole_variant(unsigned int value);
  explicit ole_variant(long value);  // 64 bits on Linux: VT_I8
  explicit ole_variant(long long value);
  explicit ole_variant(unsigned long value);  // VT_UI8
  explicit ole_variant(unsigned long long value);
  explicit ole_variant(float value);
  explicit ole_variant(double value);
  explicit ole_variant(const SYSTEMTIME& value);
  explicit ole_variant(const CY& value);
  explicit ole_variant(const DECIMAL& value);
  explicit ole_variant(const wchar_t* value);  // null gives an empty VT_BSTR
  explicit ole_variant(const char* value);     // null gives an empty VT_BSTR
  explicit ole_variant(const std::string& value);
  explicit ole_variant(const std::wstring& value);
  ole_variant(std::size_t count, const std::uint8_t* data);  // a byte array

  ole_variant(const ole_variant& other);
  ole_variant(ole_variant&& other) noexcept;
  ole_variant& operator=(const ole_variant& other);
  ole_variant& operator=(ole_variant&& other) noexcept;
  virtual ~ole_variant();

  ole_variant& assign(const ole_variant& other);
  ole_variant& assign(const wchar_t* text);  // VT_BSTR; null gives ""

  VARTYPE get_type() const { return variant.vt; }

  // Text by tag (see the implementation for the forms); "" for VT_EMPTY/NULL.
  virtual std::string to_string() const;
  // The text itself for VT_BSTR, otherwise to_string() widened.
  virtual std::wstring to_wstring() const;

  // Numeric accessors; an unsupported tag raises tk_mail_assertion.
  double to_double() const;
  std::int32_t to_long() const;
  bool to_bool() const;

  // The byte array (empty for VT_EMPTY/VT_NULL); other tags raise
  // tk_mail_assertion. The writable view is for filling an allocated array.
  std::span<const std::uint8_t> get_bytes() const;
  std::span<std::uint8_t> get_bytes();

  // False and a zero-filled out for a value that is not VT_DATE.
  bool get_systemtime(SYSTEMTIME& out) const;

  // Makes this a byte array of `size` elements (keeping the bytes and lower
  // bound of an array already held).
  void allocate_safe_array(std::size_t size);
  void attach_binary(const std::vector<std::uint8_t>& bytes);
  void attach_binary(std::size_t count, const std::uint8_t* data);
  void attach_string(const std::string& text);  // from the ANSI code page
  void attach_wstring(const std::wstring& text);
  // In place, reusing the text buffer: VT_BSTR holding `text`, or VT_NULL.
  void set_text(std::wstring_view text);
  void set_null();

  // A value of `type` read from text; an empty text gives VT_EMPTY (an empty
  // VT_BSTR for VT_BSTR). Text that is no value of the type gives VT_EMPTY;
  // an integer that does not fit the type raises ole_cast_exception; a type
  // the text cannot become raises ole_type_exception.
  static ole_variant from_string(const std::string& text, VARTYPE type);
  static ole_variant from_wstring(const std::wstring& text, VARTYPE type);

  // Converts in place; raises ole_cast_exception when the value cannot
  // become `new_type` (also when it does not fit it).
  void change_type(VARTYPE new_type);

  std::int64_t i8_value = 0;
  std::uint64_t ui8_value = 0;
  SYSTEMTIME systemtime;
  VARIANT variant;

 private:
  void release();
  void copy_from(const ole_variant& other);
  void set_i8(std::int64_t value);
  void set_ui8(std::uint64_t value);
  void set_bytes(const void* data, std::size_t count);
};
