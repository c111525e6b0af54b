#pragma once
// Filter expressions of the table engine: what a dataset accepts as its Filter text while
// Filtered is on. The text is parsed once into a tree of conditions on fields; the tree is
// then evaluated for every record, so evaluation does no parsing, no field look-up by name
// and no string building.
//
// Accepted:
//   field = 'text'   field <> 5   field < 1.5   field >= '31.12.2024'   (= <> < > <= >=)
//   a AND b, a OR b, NOT a, ( … )        precedence OR < AND < NOT < comparison
//   Paid, NOT Paid                        a logical field alone is a condition
//   field IS NULL, field IS NOT NULL, field = NULL, field <> NULL, field = '' (blank test)
//   Name = 'Sm*'                          a constant ending in * (longer than the *) matches
//                                         values that begin with the text before it (= and <>
//                                         on text fields, unless Options::noPartialCompare)
//   Name LIKE 'Sm_th%', Name NOT LIKE …   % any text, _ one character
//   Code IN (1, 2, 3), Code NOT IN (…)
//   /* comments */, True, False, NULL; keywords in any letter case
// Field names are words (letters — any non-ASCII character counts as a letter, so Cyrillic
// names need no brackets —, digits, _, and also . [ ] after the first character) or any
// text in [square brackets]. Strings are in single quotes with '' for a quote inside.
// A constant may stand left of the field (5 < Qty); two fields or two constants may not be
// compared. Double quotes, arithmetic and functions are errors.
//
// Blank (NULL) values fail every comparison. Logic is three-valued: a comparison on a blank
// value is "unknown", NOT keeps it unknown, so NOT (State = 'CA') excludes blank States
// just as State <> 'CA' does; only IS [NOT] NULL (and = NULL, = '') test blanks. A record
// matches when the whole expression is true.
//
// Text comparison: equality and ordering compare characters by their Unicode code point
// (the byte order of UTF-8). The collation of the table's language driver is not known
// here. With Options::caseInsensitive both sides are compared upper-cased (Cyrillic too).
#include "common/Errors.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace filter {

enum class Kind { String, Integer, Float, Boolean, Date, Time, DateTime, Blob, Other };

struct Value {            // a field value or a converted constant
  bool null = true;
  Kind kind = Kind::String;
  int64_t i = 0;          // Integer; Date = days (1 = 0001-01-01); Time = ms since midnight
  double d = 0;           // Float (also money, BCD as double); DateTime = ms since 0001-01-01 00:00 counted as days*86400000+ms
  bool b = false;         // Boolean
  std::string s;          // String (UTF-8), Blob bytes
};

struct FieldRef { int index = -1; Kind kind = Kind::Other; std::string name; };

class Resolver {          // the dataset side implements it
public:
  virtual ~Resolver() = default;
  // The field of that name (case-insensitive match is the resolver's job), or nullopt.
  virtual std::optional<FieldRef> findField(std::string_view name) const = 0;
  // Converts a constant's text to the field's kind with the user's conventions
  // (dates 31.12.2024, decimal comma '12,5' — an unquoted 12.5 literal must also be accepted for floats;
  // integers). Returns false and fills error (Russian) when the text does not convert.
  // Not called for String fields (the text is used as it is) nor for True/False/NULL.
  // For an Integer field whose constant does not convert, the expression asks once more
  // with the kind Float, so that Qty > '2,5' compares numerically.
  virtual bool convertConstant(const FieldRef& field, std::string_view text, Value& out, std::string& error) const = 0;
};

class RecordAccess {      // one record being tested
public:
  virtual ~RecordAccess() = default;
  virtual Value fieldValue(int index) const = 0;
};

struct Options { bool caseInsensitive = false; bool noPartialCompare = false; };

// EFilterError (common/Errors.h) is what parse throws; its message reads
// "Ошибка в фильтре: <what> (позиция N)", N being the 1-based character position.
using ::EFilterError;

class Expression {
public:
  // Parses the filter text. An empty text (or only blanks and comments) matches every record.
  // Throws EFilterError on a syntax error, an unknown field or a constant that does not
  // convert to its field's kind.
  static std::unique_ptr<Expression> parse(std::string_view text, const Resolver& resolver, Options options = {});

  bool matches(const RecordAccess& record) const;

  // True when the expression has no condition (matches everything).
  bool empty() const { return root_ < 0; }
  // Resolver indexes of the fields the expression reads, each once, in order of appearance.
  const std::vector<int>& fieldIndexes() const { return fieldIndexes_; }

  enum class Op : uint8_t { And, Or, Not, Compare, Prefix, NotPrefix, IsNull, IsNotNull, Like, In, BoolField };
  enum class Cmp : uint8_t { Eq, Ne, Lt, Gt, Le, Ge };
  struct Node {
    Op op = Op::And;
    Cmp cmp = Cmp::Eq;
    bool negate = false;  // NOT LIKE, NOT IN
    std::vector<int> children;  // And/Or: all operands (chains are kept flat); Not: one
    int field = -1;             // resolver index of the field tested
    Kind fieldKind = Kind::Other;
    Value constant;                 // Compare; Prefix text (upper-cased when case-insensitive)
    std::vector<Value> list;        // In
    std::vector<char32_t> pattern;  // Like (upper-cased when case-insensitive)
  };

private:
  Expression() = default;
  enum Tri : uint8_t { False = 0, True = 1, Unknown = 2 };
  Tri eval(int node, const RecordAccess& record) const;
  Tri compare(const Node& n, const Value& v) const;

  friend class Parser;
  std::vector<Node> nodes_;
  int root_ = -1;
  Options options_;
  std::vector<int> fieldIndexes_;
};

}  // namespace filter
