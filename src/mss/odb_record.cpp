#include "odb_record.hpp"

#include <sybdb.h>

#include "tk_trace.hpp"

std::wstring odb_field::to_wstring() const { return udb_field::to_wstring(); }

VARTYPE odb_record::get_vartype(int server_type) {
  switch (server_type) {
    case SYBINT1:
      return VT_UI1;
    case SYBINT2:
      return VT_I2;
    case SYBINT4:
      return VT_I4;
    case SYBINT8:
      return VT_I8;
    case SYBBIT:
    case SYBBITN:
      return VT_BOOL;
    case SYBREAL:
      return VT_R4;
    case SYBFLT8:
      return VT_R8;
    case SYBMONEY:
    case SYBMONEY4:
      return VT_CY;
    case SYBDATETIME:
    case SYBDATETIME4:
    case SYBMSDATE:
    case SYBMSDATETIME2:
    case SYBMSTIME:
    case SYBMSDATETIMEOFFSET:
      return VT_DATE;
    case SYBDECIMAL:
    case SYBNUMERIC:
      return VT_DECIMAL;
    case SYBCHAR:
    case SYBVARCHAR:
    case SYBTEXT:
    case SYBNTEXT:
    case SYBNVARCHAR:

      return VT_BSTR;
    default:
      return VT_BLOB;
  }
}

std::string odb_record::get_server_type(VARTYPE vt, int version_level) {
  switch (vt) {
    case VT_I2:
    case VT_I1:
      return "smallint";
    case VT_I4:
    case VT_UI2:
    case VT_INT:
      return "int";
    case VT_R4:
    case VT_R8:
    case VT_UI8:
      return "float";
    case VT_CY:
      return "money";
    case VT_DATE:
      return "datetime";
    case VT_BSTR:
      return "nvarchar";
    case VT_BOOL:
      return "bit";
    case VT_DECIMAL:
      return "numeric";
    case VT_UI1:
      return "tinyint";
    case VT_UI4:
    case VT_I8:
    case VT_UINT:
      return version_level >= 3 ? "bigint" : "float";
    case VT_BLOB:
    case VT_BLOB_OBJECT:
      return "varbinary";
    default:
      tk_trace(1, "Got string!");
      return "nvarchar";
  }
}
