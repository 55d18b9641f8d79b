// ole_variant: construction, printing, accessors, value semantics,
// from_string and the change_type rules.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "make_time.hpp"
#include "ole_date.hpp"
#include "ole_decimal.hpp"
#include "ole_variant.hpp"
#include "tk_mail_assertion.hpp"
#include "tk_trace.hpp"

namespace {

constexpr VARTYPE bytes_type = VT_ARRAY | VT_UI1;

DECIMAL decimal(const char* text) {
  DECIMAL d{};
  EXPECT_EQ(ole_dec_from_text(text, &d), S_OK) << text;
  return d;
}

ole_variant bytes(std::vector<std::uint8_t> data) {
  ole_variant v;
  v.attach_binary(data);
  return v;
}

std::vector<std::uint8_t> bytes_of(const ole_variant& v) {
  const auto span = v.get_bytes();
  return {span.begin(), span.end()};
}

struct print_case {
  const char* name;
  std::function<ole_variant()> make;
  VARTYPE vt;
  const char* text;
};

TEST(OleVariant, ConstructsAndPrintsEachType) {
  const print_case cases[] = {
      {"empty", [] { return ole_variant(); }, VT_EMPTY, ""},
      {"true", [] { return ole_variant(true); }, VT_BOOL, "1"},
      {"false", [] { return ole_variant(false); }, VT_BOOL, "0"},
      {"char", [] { return ole_variant(static_cast<char>(-5)); }, VT_I1, "-5"},
      {"byte", [] { return ole_variant(static_cast<unsigned char>(200)); }, VT_UI1, "200"},
      {"short", [] { return ole_variant(static_cast<short>(-300)); }, VT_I2, "-300"},
      {"ushort", [] { return ole_variant(static_cast<unsigned short>(60000)); }, VT_UI2, "60000"},
      {"int", [] { return ole_variant(-70000); }, VT_I4, "-70000"},
      {"uint", [] { return ole_variant(4000000000u); }, VT_UI4, "4000000000"},
      {"hyper", [] { return ole_variant(std::numeric_limits<long long>::min()); }, VT_I8,
       "-9223372036854775808"},
      {"long", [] { return ole_variant(-5L); }, VT_I8, "-5"},
      {"uhyper", [] { return ole_variant(std::numeric_limits<unsigned long long>::max()); }, VT_UI8,
       "18446744073709551615"},
      {"float", [] { return ole_variant(1.5f); }, VT_R4, "1.500000e+00"},
      {"double", [] { return ole_variant(1.5); }, VT_R8, "1.500000000000000e+00"},
      {"negative double", [] { return ole_variant(-0.000123); }, VT_R8, "-1.230000000000000e-04"},
      {"currency", [] { return ole_variant(CY{125000}); }, VT_CY, "12.5"},
      {"negative currency", [] { return ole_variant(CY{-1}); }, VT_CY, "-0.0001"},
      {"decimal", [] { return ole_variant(decimal("-123.450")); }, VT_DECIMAL, "-123.45"},
      {"date and time", [] { return ole_variant(make_time(2010, 12, 31, 10)); }, VT_DATE,
       "2010-12-31 10:00:00"},
      {"midnight", [] { return ole_variant(make_time(2010, 12, 31)); }, VT_DATE, "2010-12-31"},
      {"time", [] { return ole_variant(make_time(0, 0, 0, 7, 8, 9)); }, VT_DATE,
       "0000-00-00 07:08:09"},
      {"wide C string", [] { return ole_variant(L"wide"); }, VT_BSTR, "wide"},
      {"null wide C string", [] { return ole_variant(static_cast<const wchar_t*>(nullptr)); },
       VT_BSTR, ""},
      {"narrow", [] { return ole_variant(std::string("narrow")); }, VT_BSTR, "narrow"},
      {"narrow C string", [] { return ole_variant("abc"); }, VT_BSTR, "abc"},
      {"bytes",
       [] {
         return bytes({0x0A, 0xFF, 0x00});
       },
       bytes_type, "0x0AFF00"},
      {"no bytes", [] { return bytes({}); }, bytes_type, ""},
      {"count and data",
       [] {
         const std::uint8_t data[] = {1, 2};
         return ole_variant(sizeof data, data);
       },
       bytes_type, "0x0102"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const ole_variant v = c.make();
    EXPECT_EQ(v.get_type(), c.vt);
    EXPECT_EQ(v.to_string(), c.text);
    const std::string text = c.text;
    EXPECT_EQ(v.to_wstring(), std::wstring(text.begin(), text.end()));
    if (c.vt != VT_I8) {
      EXPECT_EQ(v.i8_value, 0);
    }
    if (c.vt != VT_UI8) {
      EXPECT_EQ(v.ui8_value, 0u);
    }
  }
}

TEST(OleVariant, KeepsDateNumberAndBrokenDownDate) {
  const ole_variant v(make_time(2010, 12, 31, 12));
  EXPECT_EQ(v.variant.date, 40543.5);
  SYSTEMTIME st;
  ASSERT_TRUE(v.get_systemtime(st));
  EXPECT_EQ(st, make_time(2010, 12, 31, 12));
  EXPECT_FALSE(ole_variant(1).get_systemtime(st));
  EXPECT_EQ(st, SYSTEMTIME());
  // A date no date number can hold keeps its fields; only the number is lost.
  const ole_variant odd(make_time(31, 12, 2010));
  EXPECT_EQ(odd.get_type(), VT_DATE);
  EXPECT_EQ(odd.variant.date, 0.0);
}

TEST(OleVariant, WideTextKeepsEveryCharacter) {
  const std::wstring text(L"Gr\u00fc\u00dfe \u4e2d\u6587\0end", 13);
  const ole_variant v(text);
  EXPECT_EQ(v.to_wstring(), text);
  ole_variant w;
  w.attach_wstring(text);
  EXPECT_EQ(w.variant.bstrVal.size(), 13u);
}

TEST(OleVariant, PrintsAtMost0x50000Bytes) {
  std::vector<std::uint8_t> data(0x50001, 0xAB);
  data[0x4FFFF] = 0xCD;
  const std::string text = bytes(data).to_string();
  ASSERT_EQ(text.size(), 2u + 2 * 0x50000);
  EXPECT_EQ(text.substr(text.size() - 4), "ABCD");
}

TEST(OleVariant, CopiesAreDeepAndMovesEmptyTheSource) {
  ole_variant original = bytes({1, 2, 3});
  ole_variant copy(original);
  original.get_bytes()[0] = 9;
  EXPECT_EQ(bytes_of(copy), (std::vector<std::uint8_t>{1, 2, 3}));

  ole_variant moved(std::move(original));
  EXPECT_EQ(bytes_of(moved), (std::vector<std::uint8_t>{9, 2, 3}));
  EXPECT_EQ(original.get_type(), VT_EMPTY);  // NOLINT(bugprone-use-after-move)

  ole_variant target(std::string("old text"));
  target = ole_variant(-7LL);
  EXPECT_EQ(target.get_type(), VT_I8);
  EXPECT_EQ(target.i8_value, -7);
  EXPECT_TRUE(target.variant.bstrVal.empty());

  const ole_variant date(make_time(2010, 12, 31, 10));
  target = date;
  EXPECT_EQ(target.systemtime, date.systemtime);
  EXPECT_EQ(target.i8_value, 0);
  ole_variant& alias = target;
  target = alias;  // self-assignment keeps the value
  EXPECT_EQ(target.to_string(), "2010-12-31 10:00:00");

  target.assign(L"text");
  EXPECT_EQ(target.get_type(), VT_BSTR);
  EXPECT_EQ(target.to_string(), "text");
  EXPECT_EQ(target.systemtime, SYSTEMTIME());

  ole_variant carray;
  carray.variant.vt = VT_CARRAY;
  carray.variant.parray.data = {5};
  const ole_variant from_carray(carray);
  EXPECT_EQ(from_carray.get_type(), bytes_type);
  EXPECT_EQ(bytes_of(from_carray), std::vector<std::uint8_t>{5});
}

// A row of values refilled for every record must not give its text memory
// back between values: whatever the value becomes in between, the next text
// lands in the same buffer.
TEST(OleVariant, KeepsItsTextBufferWhateverItBecomesInBetween) {
  const std::wstring long_text(300, L'x');
  const struct {
    const char* what;
    std::function<void(ole_variant&)> become;
    VARTYPE type;
  } cases[] = {
      {"NULL", [](ole_variant& v) { v.set_null(); }, VT_NULL},
      {"a copied number", [](ole_variant& v) { v.assign(ole_variant(2.5)); }, VT_R8},
      {"a copied date", [](ole_variant& v) { v.assign(ole_variant(make_time(2001, 2, 3))); },
       VT_DATE},
      {"a shorter text", [](ole_variant& v) { v.set_text(L"ab"); }, VT_BSTR},
      {"converted to a number", [](ole_variant& v) { v.change_type(VT_I4); }, VT_I4},
      {"converted to a decimal", [](ole_variant& v) { v.change_type(VT_DECIMAL); }, VT_DECIMAL},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ole_variant v;
    v.set_text(long_text);
    const wchar_t* const buffer = v.variant.bstrVal.data();
    v.set_text(L"12");
    c.become(v);
    EXPECT_EQ(v.get_type(), c.type);
    v.set_text(long_text);
    EXPECT_EQ(v.variant.bstrVal.data(), buffer);
    EXPECT_EQ(v.to_wstring(), long_text);
    EXPECT_EQ(v.i8_value, 0);
    EXPECT_EQ(v.systemtime, SYSTEMTIME());
  }
}

TEST(OleVariant, SetTextTakesAViewOfItsOwnText) {
  ole_variant v;
  v.set_text(L"abcdef");
  v.set_text(std::wstring_view(v.variant.bstrVal).substr(2, 3));
  EXPECT_EQ(v.to_wstring(), L"cde");
  v.assign(ole_variant(7LL));
  v.set_text(L"");
  EXPECT_EQ(v.get_type(), VT_BSTR);
  EXPECT_EQ(v.i8_value, 0);
  EXPECT_EQ(v.to_string(), "");
}

TEST(OleVariant, AllocatesAndRedimensionsByteArrays) {
  ole_variant v(42);
  v.allocate_safe_array(3);
  EXPECT_EQ(v.get_type(), bytes_type);
  EXPECT_EQ(bytes_of(v), (std::vector<std::uint8_t>{0, 0, 0}));
  v.get_bytes()[1] = 7;
  v.variant.parray.lower_bound = 1;
  v.allocate_safe_array(5);
  EXPECT_EQ(bytes_of(v), (std::vector<std::uint8_t>{0, 7, 0, 0, 0}));
  EXPECT_EQ(v.variant.parray.lower_bound, 1);
  v.allocate_safe_array(1);
  EXPECT_EQ(bytes_of(v), std::vector<std::uint8_t>{0});
  EXPECT_THROW(v.attach_binary(2, nullptr), tk_mail_assertion);
  EXPECT_TRUE(ole_variant().get_bytes().empty());
  EXPECT_THROW(ole_variant(1).get_bytes(), tk_mail_assertion);
}

TEST(OleVariant, NumericAccessors) {
  const struct {
    const char* name;
    std::function<ole_variant()> make;
    double as_double;
    std::int32_t as_long;
    bool as_bool;
  } cases[] = {
      {"empty", [] { return ole_variant(); }, 0, 0, false},
      {"true", [] { return ole_variant(true); }, -1, -1, true},
      {"short", [] { return ole_variant(static_cast<short>(-3)); }, -3, -3, true},
      {"uint", [] { return ole_variant(4000000000u); }, 4e9, static_cast<std::int32_t>(4000000000u),
       true},
      {"double", [] { return ole_variant(-2.9); }, -2.9, -2, true},
      {"big double", [] { return ole_variant(1e20); }, 1e20,
       std::numeric_limits<std::int32_t>::max(), true},
      {"NaN", [] { return ole_variant(std::nan("")); }, std::nan(""), 0, true},
      {"zero float", [] { return ole_variant(0.0f); }, 0, 0, false},
      {"hyper", [] { return ole_variant(0x100000005LL); }, 4294967301.0, 5, true},
      {"uhyper", [] { return ole_variant(0x100000000ULL); }, 4294967296.0, 0, true},
      {"decimal", [] { return ole_variant(decimal("2.5")); }, 2.5, 2, true},
      {"small decimal", [] { return ole_variant(decimal("0.4")); }, 0.4, 0, true},
      {"zero decimal", [] { return ole_variant(decimal("0.00")); }, 0, 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const ole_variant v = c.make();
    if (std::isnan(c.as_double)) {
      EXPECT_TRUE(std::isnan(v.to_double()));
    } else {
      EXPECT_DOUBLE_EQ(v.to_double(), c.as_double);
    }
    EXPECT_EQ(v.to_long(), c.as_long);
    EXPECT_EQ(v.to_bool(), c.as_bool);
  }
  EXPECT_DOUBLE_EQ(ole_variant(CY{-12345}).to_double(), -1.2345);
  EXPECT_THROW(ole_variant(L"1").to_double(), tk_mail_assertion);
  EXPECT_THROW(ole_variant(make_time(2010, 1, 1)).to_long(), tk_mail_assertion);
  EXPECT_THROW(ole_variant(std::string("1")).to_bool(), tk_mail_assertion);
  EXPECT_THROW(bytes({1}).to_double(), tk_mail_assertion);
}

// ---- from_string ------------------------------------------------------------

struct from_case {
  const char* text;
  VARTYPE type;
  VARTYPE vt;
  const char* printed;
};

TEST(OleVariantFromString, ReadsEachType) {
  const from_case cases[] = {
      {"", VT_I4, VT_EMPTY, ""},
      {"", VT_DATE, VT_EMPTY, ""},
      {"", VT_BSTR, VT_BSTR, ""},
      {"42", VT_I2, VT_I2, "42"},
      {" -12abc", VT_I4, VT_I4, "-12"},
      {"abc", VT_I4, VT_I4, "0"},
      {"-128", VT_I1, VT_I1, "-128"},
      {"255", VT_UI1, VT_UI1, "255"},
      {"65535", VT_UI2, VT_UI2, "65535"},
      {"4294967295", VT_UI4, VT_UI4, "4294967295"},
      {"abc", VT_UI4, VT_EMPTY, ""},
      {"-9223372036854775808", VT_I8, VT_I8, "-9223372036854775808"},
      {"18446744073709551615", VT_UI8, VT_UI8, "18446744073709551615"},
      {"x", VT_UI8, VT_EMPTY, ""},
      {"3,5", VT_R8, VT_R8, "3.500000000000000e+00"},
      {"2.5e3", VT_R4, VT_R4, "2.500000e+03"},
      {"12,5", VT_CY, VT_CY, "12.5"},
      {"-0.00005", VT_CY, VT_CY, "0"},
      {"1,234.5", VT_CY, VT_EMPTY, ""},
      {"abc", VT_CY, VT_EMPTY, ""},
      {"-0,125", VT_DECIMAL, VT_DECIMAL, "-0.125"},
      {"1e30", VT_DECIMAL, VT_EMPTY, ""},
      {"20101231", VT_DATE, VT_DATE, "2010-12-31"},
      {"31.12.2010 10:00:00", VT_DATE, VT_DATE, "2010-12-31 10:00:00"},
      {"no date", VT_DATE, VT_EMPTY, ""},
      {"TRUE", VT_BOOL, VT_BOOL, "1"},
      {"Yes", VT_BOOL, VT_BOOL, "1"},
      {"No", VT_BOOL, VT_BOOL, "0"},
      {"false", VT_BOOL, VT_BOOL, "0"},
      {"7", VT_BOOL, VT_BOOL, "1"},
      {"0", VT_BOOL, VT_BOOL, "0"},
      {"abc", VT_BOOL, VT_BOOL, "0"},
      {"0x0A0B", bytes_type, bytes_type, "0x0A0B"},
      {"0X0a0b", bytes_type, bytes_type, "0x0A0B"},
      {"FF00", VT_BLOB, bytes_type, "0xFF00"},
      {"0x", bytes_type, bytes_type, ""},
      {"ABC", bytes_type, VT_EMPTY, ""},
      {"0xZZ", bytes_type, VT_EMPTY, ""},
      {"123", VT_INT, VT_INT, "123"},
      {"text", VT_BSTR, VT_BSTR, "text"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "'" << c.text << "' as " << c.type);
    const ole_variant v = ole_variant::from_string(c.text, c.type);
    EXPECT_EQ(v.get_type(), c.vt);
    EXPECT_EQ(v.to_string(), c.printed);
  }
  EXPECT_EQ(bytes_of(ole_variant::from_string("0x0A0B", bytes_type)),
            (std::vector<std::uint8_t>{0x0A, 0x0B}));
  EXPECT_EQ(ole_variant::from_string("3,5", VT_R8).to_double(), 3.5);
}

TEST(OleVariantFromString, RaisesForValuesOutOfRangeAndUnsupportedTypes) {
  const struct {
    const char* text;
    VARTYPE type;
  } cast_cases[] = {
      {"70000", VT_I2},
      {"-1", VT_UI1},
      {"128", VT_I1},
      {"4294967296", VT_UI4},
      {"-1", VT_UI4},
      {"9223372036854775808", VT_I8},
      {"18446744073709551616", VT_UI8},
      {"1e39", VT_R4},
  };
  for (const auto& c : cast_cases) {
    EXPECT_THROW(ole_variant::from_string(c.text, c.type), ole_cast_exception) << c.text;
  }
  EXPECT_THROW(ole_variant::from_string("abc", VT_INT), ole_type_exception);
  EXPECT_THROW(ole_variant::from_string("1", VT_ERROR), ole_type_exception);
  EXPECT_THROW(ole_variant::from_string("1", VT_LPSTR), ole_type_exception);
  try {
    ole_variant::from_string("1", VT_ERROR);
  } catch (const ole_type_exception& e) {
    EXPECT_STREQ(e.what(), "The operating type is not supported yet");
    EXPECT_EQ(e.level(), tk_level_item);
  }
}

TEST(OleVariantFromString, WideText) {
  const std::wstring text = L"Gr\u00fc\u00dfe";
  EXPECT_EQ(ole_variant::from_wstring(text, VT_BSTR).to_wstring(), text);
  EXPECT_EQ(ole_variant::from_wstring(L"", VT_BSTR).get_type(), VT_BSTR);
  EXPECT_EQ(ole_variant::from_wstring(L"42", VT_I4).to_long(), 42);
  EXPECT_EQ(ole_variant::from_wstring(L"2010-12-31 23:59:59", VT_DATE).to_string(),
            "2010-12-31 23:59:59");
}

// ---- change_type --------------------------------------------------------------

struct change_case {
  const char* name;
  std::function<ole_variant()> make;
  VARTYPE to;
  VARTYPE vt;  // VT_ERROR: raises ole_cast_exception
  const char* printed;
};

constexpr VARTYPE raises = VT_ERROR;

ole_variant text(const char* s) { return ole_variant(std::string(s)); }
ole_variant ui8(unsigned long long v) { return ole_variant(v); }
ole_variant i8(long long v) { return ole_variant(v); }
ole_variant date_value() { return ole_variant(make_time(2010, 12, 31, 10)); }

TEST(OleVariantChangeType, FollowsItsRulesInOrder) {
  const change_case cases[] = {
      // unchanged
      {"same type", [] { return ole_variant(42); }, VT_I4, VT_I4, "42"},
      {"empty", [] { return ole_variant(); }, VT_I4, VT_EMPTY, ""},
      {"null",
       [] {
         ole_variant v;
         v.variant.vt = VT_NULL;
         return v;
       },
       VT_BSTR, VT_NULL, ""},
      // 1. bytes stay bytes
      {"bytes to blob", [] { return bytes({1}); }, VT_BLOB, bytes_type, "0x01"},
      // 2. from VT_UI8
      {"ui8 to i2", [] { return ui8(300); }, VT_I2, VT_I2, "300"},
      {"ui8 too big for i2", [] { return ui8(70000); }, VT_I2, raises, ""},
      {"ui8 to i1", [] { return ui8(127); }, VT_I1, VT_I1, "127"},
      {"ui8 to ui1", [] { return ui8(256); }, VT_UI1, raises, ""},
      {"ui8 to bool", [] { return ui8(65536); }, VT_BOOL, VT_BOOL, "1"},
      {"ui8 zero to bool", [] { return ui8(0); }, VT_BOOL, VT_BOOL, "0"},
      {"ui8 to ui4", [] { return ui8(4000000000ULL); }, VT_UI4, VT_UI4, "4000000000"},
      {"ui8 to uint", [] { return ui8(4000000000ULL); }, VT_UINT, VT_UINT, "4000000000"},
      {"ui8 to int", [] { return ui8(2147483648ULL); }, VT_INT, raises, ""},
      {"ui8 to r8", [] { return ui8(1ULL << 53); }, VT_R8, VT_R8, "9.007199254740992e+15"},
      {"ui8 to r4", [] { return ui8(3); }, VT_R4, VT_R4, "3.000000e+00"},
      {"ui8 to i8", [] { return ui8(9223372036854775807ULL); }, VT_I8, VT_I8,
       "9223372036854775807"},
      {"ui8 too big for i8", [] { return ui8(9223372036854775808ULL); }, VT_I8, raises, ""},
      {"ui8 to text", [] { return ui8(18446744073709551615ULL); }, VT_BSTR, VT_BSTR,
       "18446744073709551615"},
      {"ui8 to currency", [] { return ui8(7); }, VT_CY, VT_CY, "7"},
      {"ui8 beyond currency", [] { return ui8(922337203685478ULL); }, VT_CY, raises, ""},
      {"ui8 to decimal", [] { return ui8(922337203685477ULL); }, VT_DECIMAL, VT_DECIMAL,
       "922337203685477"},
      {"ui8 to date", [] { return ui8(1); }, VT_DATE, raises, ""},
      {"ui8 to bytes", [] { return ui8(1); }, bytes_type, raises, ""},
      // 3. from VT_I8
      {"i8 to i2", [] { return i8(-5); }, VT_I2, VT_I2, "-5"},
      {"i8 to ui1", [] { return i8(-1); }, VT_UI1, raises, ""},
      {"i8 to ui8", [] { return i8(5); }, VT_UI8, VT_UI8, "5"},
      {"negative i8 to ui8", [] { return i8(-5); }, VT_UI8, raises, ""},
      {"i8 to text", [] { return i8(std::numeric_limits<long long>::min()); }, VT_BSTR, VT_BSTR,
       "-9223372036854775808"},
      {"i8 to currency", [] { return i8(-922337203685477LL); }, VT_CY, VT_CY, "-922337203685477"},
      {"i8 to decimal", [] { return i8(-12); }, VT_DECIMAL, VT_DECIMAL, "-12"},
      {"i8 to r8", [] { return i8(-3); }, VT_R8, VT_R8, "-3.000000000000000e+00"},
      // 4. from VT_DATE
      {"date to text", date_value, VT_BSTR, VT_BSTR, "2010-12-31 10:00:00"},
      {"date to r8", date_value, VT_R8, raises, ""},
      {"date to i8", date_value, VT_I8, raises, ""},
      {"date to bytes", date_value, bytes_type, raises, ""},
      // 5. to 64-bit integers
      {"i2 to i8", [] { return ole_variant(static_cast<short>(-3)); }, VT_I8, VT_I8, "-3"},
      {"bool to i8", [] { return ole_variant(true); }, VT_I8, VT_I8, "-1"},
      {"ui4 to i8", [] { return ole_variant(4000000000u); }, VT_I8, VT_I8, "4000000000"},
      {"r8 to i8", [] { return ole_variant(-2.9); }, VT_I8, VT_I8, "-2"},
      {"r4 to ui8", [] { return ole_variant(2.9f); }, VT_UI8, VT_UI8, "2"},
      {"negative r8 to ui8", [] { return ole_variant(-1.0); }, VT_UI8, raises, ""},
      {"huge r8 to i8", [] { return ole_variant(1e19); }, VT_I8, raises, ""},
      {"NaN to i8", [] { return ole_variant(std::nan("")); }, VT_I8, raises, ""},
      {"currency 2.5 to i8", [] { return ole_variant(CY{25000}); }, VT_I8, VT_I8, "2"},
      {"currency 3.5 to i8", [] { return ole_variant(CY{35000}); }, VT_I8, VT_I8, "4"},
      {"currency -2.5001 to i8", [] { return ole_variant(CY{-25001}); }, VT_I8, VT_I8, "-3"},
      {"decimal to i8", [] { return ole_variant(decimal("7.5")); }, VT_I8, VT_I8, "8"},
      {"decimal beyond currency", [] { return ole_variant(decimal("1e20")); }, VT_I8, raises, ""},
      {"negative int to ui8", [] { return ole_variant(-1); }, VT_UI8, raises, ""},
      {"text to i8", [] { return text("5"); }, VT_I8, raises, ""},
      // 6. to VT_DATE
      {"19-character text", [] { return text("2010-12-31 23:59:59"); }, VT_DATE, VT_DATE,
       "2010-12-31 23:59:59"},
      {"19 characters, no date", [] { return text("abcdefghijklmnopqrs"); }, VT_DATE, VT_EMPTY, ""},
      {"10-character text", [] { return text("2010-12-31"); }, VT_DATE, raises, ""},
      {"r8 to date", [] { return ole_variant(40543.0); }, VT_DATE, raises, ""},
      // 8. raw bytes
      {"i2 bytes", [] { return ole_variant(static_cast<short>(0x0102)); }, bytes_type, bytes_type,
       "0x0201"},
      {"bool bytes", [] { return ole_variant(true); }, VT_BLOB, bytes_type, "0xFFFF"},
      {"i4 bytes", [] { return ole_variant(-2); }, bytes_type, bytes_type, "0xFEFFFFFF"},
      {"r4 bytes", [] { return ole_variant(1.0f); }, bytes_type, bytes_type, "0x0000803F"},
      {"r8 bytes", [] { return ole_variant(1.0); }, bytes_type, bytes_type, "0x000000000000F03F"},
      {"currency bytes", [] { return ole_variant(CY{10000}); }, bytes_type, bytes_type,
       "0x1027000000000000"},
      {"i1 bytes", [] { return ole_variant(static_cast<char>(-1)); }, bytes_type, bytes_type,
       "0xFF"},
      {"decimal bytes", [] { return ole_variant(decimal("-2.56")); }, bytes_type, bytes_type,
       "0x00000280000000000001000000000000"},
      {"text bytes", [] { return ole_variant(L"A\u00e9"); }, bytes_type, bytes_type, "0x4100E900"},
      // 9. the platform conversion
      {"text to i4", [] { return text(" 42 "); }, VT_I4, VT_I4, "42"},
      {"text to r8", [] { return text("2.5"); }, VT_R8, VT_R8, "2.500000000000000e+00"},
      {"text to currency", [] { return text("12.34567"); }, VT_CY, VT_CY, "12.3457"},
      {"text to decimal", [] { return text("-0.5"); }, VT_DECIMAL, VT_DECIMAL, "-0.5"},
      {"text to bool", [] { return text("True"); }, VT_BOOL, VT_BOOL, "1"},
      {"not a number", [] { return text("abc"); }, VT_I4, raises, ""},
      {"comma decimal", [] { return text("3,5"); }, VT_R8, raises, ""},
      {"i4 to text", [] { return ole_variant(42); }, VT_BSTR, VT_BSTR, "42"},
      {"r8 to text", [] { return ole_variant(0.1); }, VT_BSTR, VT_BSTR, "0.1"},
      {"bool to text", [] { return ole_variant(false); }, VT_BSTR, VT_BSTR, "False"},
      {"r8 to i4", [] { return ole_variant(2.5); }, VT_I4, VT_I4, "2"},
      {"i4 too big for i2", [] { return ole_variant(70000); }, VT_I2, raises, ""},
      {"i4 to currency", [] { return ole_variant(42); }, VT_CY, VT_CY, "42"},
      {"r8 to decimal", [] { return ole_variant(0.1); }, VT_DECIMAL, VT_DECIMAL, "0.1"},
      {"bytes to text", [] { return bytes({1}); }, VT_BSTR, raises, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ole_variant v = c.make();
    const VARTYPE before = v.get_type();
    if (c.vt == raises) {
      EXPECT_THROW(v.change_type(c.to), ole_cast_exception);
      EXPECT_EQ(v.get_type(), before);  // a failed change leaves the value alone
      continue;
    }
    ASSERT_NO_THROW(v.change_type(c.to));
    EXPECT_EQ(v.get_type(), c.vt);
    EXPECT_EQ(v.to_string(), c.printed);
    if (c.vt != VT_I8) {
      EXPECT_EQ(v.i8_value, 0);
    }
    if (c.vt != VT_UI8) {
      EXPECT_EQ(v.ui8_value, 0u);
    }
  }
}

TEST(OleVariantChangeType, CastExceptionCarriesItsText) {
  ole_variant v(40543.0);
  try {
    v.change_type(VT_DATE);
    FAIL() << "no exception";
  } catch (const ole_cast_exception& e) {
    EXPECT_STREQ(e.what(), "Cannot cast from source type to destination type");
    EXPECT_EQ(e.level(), tk_level_item);
  }
}

// ---- trace lines ----------------------------------------------------------------

TEST(OleVariantTrace, WritesItsLinesWithTheirArguments) {
  const std::filesystem::path path =
      std::filesystem::temp_directory_path() / ("ole_trace_" + std::to_string(::getpid()) + ".log");
  {
    tk_trace_log log(path.string(), true, 1, false);
    ole_variant::from_string("12,5", VT_CY);
    ole_variant::from_string("abc", VT_DECIMAL);
    ole_variant::from_string("ABC", bytes_type);
    ole_variant wide(std::wstring(L"Gr\u00fc\u00dfe"));
    ole_variant(std::numeric_limits<long long>::min()).change_type(VT_BSTR);
    ole_date date{std::string("3:15 PM")};
  }
  std::ifstream file(path, std::ios::binary);
  std::stringstream content;
  content << file.rdbuf();
  std::filesystem::remove(path);
  const std::string log = content.str();
  for (const char* line : {
           "ole_variant::from_string('12,5', 0x00000006)\r\n",
           "GOT VT_CY\r\n",
           "VarDecFromStr failed: 80020005\r\n",
           "Incorrect BLOB (size is odd)\r\n",
           "ole_variant::ctor from wstring(Gr\xc3\xbc\xc3\x9f"
           "e)\r\n",
           "ole_variant::ctor(hyper, -9223372036854775808)\r\n",
           "ole_variant::change_type(old=20,new=8)\r\n",
           "Invalid date/time format: '3:15'\r\n",
       }) {
    EXPECT_NE(log.find(line), std::string::npos) << line;
  }
}

}  // namespace
