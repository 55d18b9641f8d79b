// mss_validator, mss_tn_validator: SQL Server's rules for table names.
//
// SQL Server takes any bracketed name, so the only rule kept is the one that
// keeps names usable without brackets as well: a name starts with a letter
// (any Unicode letter, whatever the process locale) or "_". A name that is taken, or that breaks
// the rule, gets prefixes from the cycle "_", "1", "_", "2", "_", "3" until it no longer collides:
// orders, _orders, 1_orders, _1_orders, 2_1_orders, ...
//
// mss_tn_validator is the one the conversion driver builds for a run: it starts
// with the names of the worksheets being converted and the destination's
// existing tables as taken, so a worksheet name that breaks the rule always
// collides with itself first and so always receives at least the "_" prefix.
//
// Owns its lists. Not thread-safe: one conversion step uses one validator.
#pragma once

#include <string>
#include <vector>

#include "udb_validator.hpp"

class mss_validator : public udb_validator {
 public:
  mss_validator() : udb_validator(0) {}

  bool is_acceptable(const std::wstring& name) override;
  std::wstring get_safe_name(const std::wstring& name) override;
};

class mss_tn_validator : public mss_validator {
 public:
  // Every name of selected, then every name of existing, becomes taken.
  mss_tn_validator(const std::vector<std::wstring>& selected,
                   const std::vector<std::wstring>& existing);
};
