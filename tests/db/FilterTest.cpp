#include "db/Filter.h"

#include "common/TextUtils.h"

#include <gtest/gtest.h>

#include <charconv>
#include <string>
#include <vector>

using filter::Expression;
using filter::FieldRef;
using filter::Kind;
using filter::Options;
using filter::Value;

namespace {

// Days since 0001-01-01 (that day is 1), proleptic Gregorian calendar.
int64_t dayNumber(int y, int m, int d) {
  y -= m <= 2;
  const int64_t era = y / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 306 + 1;
}

Value nul() { return Value{}; }
Value str(std::string s) { Value v; v.null = false; v.kind = Kind::String; v.s = std::move(s); return v; }
Value integer(int64_t i) { Value v; v.null = false; v.kind = Kind::Integer; v.i = i; return v; }
Value real(double d) { Value v; v.null = false; v.kind = Kind::Float; v.d = d; return v; }
Value boolean(bool b) { Value v; v.null = false; v.kind = Kind::Boolean; v.b = b; return v; }
Value date(int y, int m, int d) { Value v; v.null = false; v.kind = Kind::Date; v.i = dayNumber(y, m, d); return v; }
Value stamp(int y, int m, int d, int hh, int mm) {
  Value v;
  v.null = false;
  v.kind = Kind::DateTime;
  v.d = static_cast<double>(dayNumber(y, m, d)) * 86400000.0 + (hh * 60 + mm) * 60000.0;
  return v;
}
Value blob(std::string s) { Value v = str(std::move(s)); v.kind = Kind::Blob; return v; }

// A small table with the conventions of a Russian desktop: dates 31.12.2024, decimal comma
// (an unquoted literal with a point is accepted too), True/False.
class Table : public filter::Resolver {
public:
  std::vector<FieldRef> fields = {
      {0, Kind::Integer, "Id"},         {1, Kind::String, "Name"},    {2, Kind::Float, "Цена"},
      {3, Kind::Integer, "Qty"},        {4, Kind::Boolean, "Paid"},   {5, Kind::Date, "Sold"},
      {6, Kind::String, "Код товара"},  {7, Kind::Blob, "Notes"},     {8, Kind::DateTime, "Stamp"},
      {9, Kind::String, "Адрес.Город"},
  };
  std::vector<std::vector<Value>> rows = {
      {integer(1), str("Smith"), real(12.5), integer(3), boolean(true), date(2024, 12, 31), str("A-1"), blob("x"),
       stamp(2024, 12, 31, 10, 30), str("Москва")},
      {integer(2), str("smithson"), real(100), integer(10), boolean(false), date(2025, 1, 1), str("B-2"), nul(),
       stamp(2025, 1, 1, 0, 0), str("Тверь")},
      {integer(3), str("O'Neil"), real(5.25), nul(), nul(), nul(), str("A-3"), nul(), nul(), nul()},
      {integer(4), nul(), real(0), integer(0), boolean(true), date(2024, 6, 15), nul(), nul(), nul(), str("москва")},
      {integer(5), str("Ёжик"), real(12), integer(12), boolean(false), date(2024, 3, 1), str("Б-5"), nul(), nul(),
       nul()},
      {integer(6), str("ёлка"), nul(), integer(-5), boolean(true), date(2024, 3, 2), str("Sm*"), nul(), nul(), nul()},
      {integer(7), str(""), real(7), integer(7), boolean(false), date(2023, 1, 1), str("a-7"), nul(), nul(), nul()},
  };

  std::optional<FieldRef> findField(std::string_view name) const override {
    for (const auto& f : fields)
      if (text::UpperCase(f.name) == text::UpperCase(name)) return f;
    return std::nullopt;
  }

  bool convertConstant(const FieldRef& f, std::string_view t, Value& out, std::string& error) const override {
    out = Value{};
    out.null = false;
    out.kind = f.kind;
    const char* b = t.data();
    const char* e = t.data() + t.size();
    bool ok = false;
    switch (f.kind) {
      case Kind::Integer: {
        auto r = std::from_chars(b, e, out.i);
        ok = r.ec == std::errc() && r.ptr == e && !t.empty();
        break;
      }
      case Kind::Float: {
        std::string s(t);
        for (char& c : s)
          if (c == ',') c = '.';
        auto r = std::from_chars(s.data(), s.data() + s.size(), out.d);
        ok = r.ec == std::errc() && r.ptr == s.data() + s.size() && !s.empty();
        break;
      }
      case Kind::Boolean:
        ok = text::UpperCase(t) == "TRUE" || text::UpperCase(t) == "FALSE";
        out.b = text::UpperCase(t) == "TRUE";
        break;
      case Kind::Date:
      case Kind::DateTime: {
        int d = 0, m = 0, y = 0, hh = 0, mm = 0;
        char tail = 0;
        const std::string s(t);
        const int n = std::sscanf(s.c_str(), "%2d.%2d.%4d %2d:%2d%c", &d, &m, &y, &hh, &mm, &tail);
        ok = (n == 3 || (n == 5 && f.kind == Kind::DateTime)) && m >= 1 && m <= 12 && d >= 1 && d <= 31;
        if (f.kind == Kind::Date)
          out.i = dayNumber(y, m, d);
        else
          out.d = static_cast<double>(dayNumber(y, m, d)) * 86400000.0 + (hh * 60 + mm) * 60000.0;
        break;
      }
      default: break;
    }
    if (!ok) error = "'" + std::string(t) + "' не является допустимым значением";
    return ok;
  }
};

struct Row : filter::RecordAccess {
  const std::vector<Value>* values = nullptr;
  Value fieldValue(int index) const override { return (*values)[static_cast<size_t>(index)]; }
};

using Ids = std::vector<int64_t>;

Ids select(const Table& t, const std::string& text, Options o = {}) {
  const auto e = Expression::parse(text, t, o);
  Ids ids;
  Row r;
  for (const auto& row : t.rows) {
    r.values = &row;
    if (e->matches(r)) ids.push_back(row[0].i);
  }
  return ids;
}

struct Case {
  const char* filter;
  Ids expected;
};

void expectAll(const std::vector<Case>& cases, Options o = {}) {
  const Table t;
  for (const auto& c : cases) {
    try {
      EXPECT_EQ(select(t, c.filter, o), c.expected) << c.filter;
    } catch (const std::exception& e) {
      ADD_FAILURE() << c.filter << ": " << e.what();
    }
  }
}

}  // namespace

TEST(Filter, ComparisonsOfEveryKindWithConstants) {
  expectAll({
      {"Qty = 3", {1}},
      {"Qty <> 3", {2, 4, 5, 6, 7}},
      {"Qty < 3", {4, 6}},
      {"Qty > 3", {2, 5, 7}},
      {"Qty <= 3", {1, 4, 6}},
      {"Qty >= 10", {2, 5}},
      {"Qty > -5", {1, 2, 4, 5, 7}},
      {"10 <= Qty", {2, 5}},  // a constant on the left mirrors the operator
      {"Qty > 2.5", {1, 2, 5, 7}},  // integer field against a fractional constant
      {"Qty < '2,5'", {4, 6}},
      {"Qty = 3.0", {1}},
      {"Qty = 1e1", {2}},
      {"Цена > 12.5", {2}},
      {"Цена >= '12,5'", {1, 2}},
      {"Цена = 12", {5}},
      {"Цена < .5", {4}},
      {"Name = 'Smith'", {1}},
      {"Name > 'S'", {1, 2, 5, 6}},  // code point order: lower case and Cyrillic after Latin capitals
      {"Name < 'a'", {1, 3}},
      {"Name = 'O''Neil'", {3}},
      {"Name = 'smith'", {}},  // case-sensitive by default
      {"Sold >= '01.01.2025'", {2}},
      {"Sold < '01.03.2024'", {7}},
      {"Stamp > '31.12.2024 10:00'", {1, 2}},
      {"Stamp < '31.12.2024 10:31'", {1}},
      {"[Код товара] = 'A-1'", {1}},
      {"[код ТОВАРА] >= 'B'", {2, 5, 6, 7}},  // field names in any letter case
      {"Адрес.Город = 'Москва'", {1}},  // a point inside a name; Cyrillic names without brackets
      {"Paid = True", {1, 4, 6}},
      {"Paid <> true", {2, 5, 7}},
      {"Paid = 'False'", {2, 5, 7}},
      {"Id = 7", {7}},
  });
}

TEST(Filter, LogicPrecedenceParenthesesCommentsAndKeywordCase) {
  expectAll({
      {"Qty = 3 OR Qty = 10 AND Paid", {1}},  // AND binds tighter than OR
      {"(Qty = 3 OR Qty = 10) AND Paid", {1}},
      {"(Qty = 3 OR Qty = 10) AND NOT Paid", {2}},
      {"NOT Qty = 3 AND Qty > 0", {2, 5, 7}},  // NOT binds tighter than AND
      {"NOT (Qty = 3 AND Qty > 0)", {2, 4, 5, 6, 7}},
      {"Qty = 3 or Qty = 0 Or Qty = 12 oR Qty = 7", {1, 4, 5, 7}},
      {"Qty > 0 and Qty < 10 AnD Paid = False", {7}},
      {"not not Paid", {1, 4, 6}},
      {"((((Qty = 12))))", {5}},
      {"/* скидка */ Qty = 12 /* до конца\n года */ OR/**/Qty=7", {5, 7}},
      {"Qty=3", {1}},
      {"Name='Smith'AND Qty=3", {1}},
  });
}

TEST(Filter, BlankValuesFailEveryComparisonExceptTheBlankTests) {
  // Row 3 has no Qty, Paid, Sold; row 4 no Name, row 7 an empty Name (the same as blank).
  expectAll({
      {"Qty <> 3", {2, 4, 5, 6, 7}},
      {"Qty <> 3 OR Qty IS NULL", {2, 3, 4, 5, 6, 7}},
      {"Qty IS NULL", {3}},
      {"Qty is not null", {1, 2, 4, 5, 6, 7}},
      {"Qty = NULL", {3}},
      {"Qty <> NULL", {1, 2, 4, 5, 6, 7}},
      {"Name = ''", {4, 7}},
      {"Name <> ''", {1, 2, 3, 5, 6}},
      {"Name IS NULL", {4, 7}},
      {"Name >= ''", {1, 2, 3, 5, 6}},
      {"Name LIKE '%'", {1, 2, 3, 5, 6}},
      {"Name NOT LIKE 'S%'", {2, 3, 5, 6}},
      {"Qty NOT IN (3, 10)", {4, 5, 6, 7}},
      // Three-valued logic: NOT of a comparison on a blank value stays unknown.
      {"NOT (Qty = 3)", {2, 4, 5, 6, 7}},
      {"NOT Paid", {2, 5, 7}},
      {"NOT (Qty = 3) OR Paid IS NULL", {2, 3, 4, 5, 6, 7}},
      {"Qty > 100 OR NOT (Qty > 100)", {1, 2, 4, 5, 6, 7}},
      {"NOT (Qty IS NULL)", {1, 2, 4, 5, 6, 7}},
      {"Sold IS NULL AND Notes IS NULL", {3}},
      {"Notes IS NOT NULL", {1}},
      {"Notes = ''", {2, 3, 4, 5, 6, 7}},
      {"Stamp IS NULL", {3, 4, 5, 6, 7}},
  });
}

TEST(Filter, PartialMatchLikeAndInHonourTheOptions) {
  expectAll({
      {"Name = 'Sm*'", {1}},
      {"Name = 'sm*'", {2}},
      {"Name <> 'Sm*'", {2, 3, 5, 6}},
      {"[Код товара] = 'A*'", {1, 3}},
      {"[Код товара] = '*'", {}},     // a lone star is literal
      {"[Код товара] = 'S*m'", {}},   // a star elsewhere is literal too
      {"[Код товара] = 'Sm**'", {6}},  // only the last star is the wildcard
      {"Name LIKE 'Sm%'", {1}},
      {"Name LIKE '%i%'", {1, 2, 3}},  // Latin i only: Ёжик has a Cyrillic и
      {"Name LIKE '_mith'", {1}},
      {"Name LIKE '%son'", {2}},
      {"Name LIKE 'S%h%n'", {}},
      {"Name LIKE '%%%'", {1, 2, 3, 5, 6}},
      {"Name LIKE 'Ё_и%'", {5}},  // _ is one character, however many bytes it takes
      {"Name LIKE 'ёлка'", {6}},
      {"Name IN ('Smith', 'ёлка', 'x')", {1, 6}},
      {"Qty IN (3, 12, -5)", {1, 5, 6}},
      {"Qty in (2.5, 7)", {7}},
      {"Sold IN ('01.03.2024', '02.03.2024')", {5, 6}},
      {"Paid IN (False)", {2, 5, 7}},
  });
  Options ci;
  ci.caseInsensitive = true;
  expectAll({
      {"Name = 'SMITH'", {1}},
      {"Name = 'sm*'", {1, 2}},
      {"Name = 'ЁЖИК'", {5}},
      {"Name = 'ЁЛ*'", {6}},
      {"Name > 'Z'", {5, 6}},
      {"Name < 'smithson'", {1, 3}},
      {"Name LIKE 's%'", {1, 2}},
      {"Name LIKE '%ИК'", {5}},
      {"Адрес.Город = 'МОСКВА'", {1, 4}},
      {"Name IN ('ЁЛКА', 'o''neil')", {3, 6}},
  }, ci);
  Options exact;
  exact.noPartialCompare = true;
  expectAll({
      {"Name = 'Sm*'", {}},
      {"[Код товара] = 'Sm*'", {6}},
      {"[Код товара] <> 'Sm*'", {1, 2, 3, 5, 7}},
      {"Name LIKE 'Sm%'", {1}},  // LIKE is not partial compare
  }, exact);
}

TEST(Filter, EmptyTextMatchesEverything) {
  const Table t;
  for (const char* s : {"", "   ", "\r\n\t", "/* пока без условий */"}) {
    EXPECT_EQ(select(t, s), (Ids{1, 2, 3, 4, 5, 6, 7})) << s;
    EXPECT_TRUE(Expression::parse(s, t)->empty());
  }
  EXPECT_FALSE(Expression::parse("Paid", t)->empty());
}

TEST(Filter, ReportsTheFieldsItReads) {
  const Table t;
  EXPECT_EQ(Expression::parse("Qty > 1 AND (Name = 'x' OR Qty < 5) OR Paid", t)->fieldIndexes(),
            (std::vector<int>{3, 1, 4}));
}

TEST(Filter, ErrorsNameTheTokenAndItsCharacterPosition) {
  struct Err {
    const char* filter;
    const char* message;
  };
  const Err cases[] = {
      {"Вес > 5", "Ошибка в фильтре: неизвестное поле «Вес» (позиция 1)"},
      {"Name = 'Ж' AND Вес > 1", "Ошибка в фильтре: неизвестное поле «Вес» (позиция 16)"},
      {"[Вес брутто] = 1", "Ошибка в фильтре: неизвестное поле «Вес брутто» (позиция 1)"},
      {"Name = \"Smith\"",
       "Ошибка в фильтре: недопустимый символ «\"» (строки заключаются в апострофы: 'текст') (позиция 8)"},
      {"Name = 'Smith", "Ошибка в фильтре: незакрытая строка «'Smith» (позиция 8)"},
      {"Qty = 1 /* до конца", "Ошибка в фильтре: незакрытый комментарий /* (позиция 9)"},
      {"[Код товара = 1", "Ошибка в фильтре: не закрыта квадратная скобка в имени «[Код товара = 1» (позиция 1)"},
      {"(Qty = 1", "Ошибка в фильтре: нужна закрывающая скобка «)», а текст фильтра закончился (позиция 9)"},
      {"Qty = 1)", "Ошибка в фильтре: лишняя закрывающая скобка «)» (позиция 8)"},
      {"Qty = 1 Qty = 2", "Ошибка в фильтре: между условиями нужно AND или OR, а не «Qty» (позиция 9)"},
      {"Qty = ", "Ошибка в фильтре: нужно поле или условие, а текст фильтра закончился (позиция 7)"},
      {"AND Qty = 1", "Ошибка в фильтре: нужно поле или условие, а не «AND» (позиция 1)"},
      {"Qty = Id", "Ошибка в фильтре: сравнение двух полей не поддерживается: «Id» (позиция 7)"},
      {"1 = 1", "Ошибка в фильтре: сравнение двух констант не поддерживается: «1» (позиция 5)"},
      {"Qty + 1 > 2", "Ошибка в фильтре: арифметические действия не поддерживаются: «+» (позиция 5)"},
      {"Upper(Name) = 'X'", "Ошибка в фильтре: функции в фильтре не поддерживаются: «Upper» (позиция 1)"},
      {"Qty = 12abc", "Ошибка в фильтре: неверное число «12abc» (позиция 7)"},
      {"Qty = 'abc'",
       "Ошибка в фильтре: константа «abc» не подходит для поля «Qty»: 'abc' не является допустимым значением (позиция 7)"},
      {"Sold > '32.13.2024'",
       "Ошибка в фильтре: константа «32.13.2024» не подходит для поля «Sold»: '32.13.2024' не является допустимым "
       "значением (позиция 8)"},
      {"Qty = True", "Ошибка в фильтре: константа «True» не подходит для поля «Qty» целого типа (позиция 7)"},
      {"Qty", "Ошибка в фильтре: поле «Qty» не логическое: нужна операция сравнения (позиция 1)"},
      {"Name 'x'", "Ошибка в фильтре: после поля «Name» нужна операция сравнения, а не «'x'» (позиция 6)"},
      {"Qty > NULL", "Ошибка в фильтре: с NULL можно сравнивать только через = и <> (позиция 7)"},
      {"Qty IS 5", "Ошибка в фильтре: после IS нужно NULL, а не «5» (позиция 8)"},
      {"Qty LIKE '1%'",
       "Ошибка в фильтре: LIKE применим только к текстовым полям, а «Qty» не такое (позиция 1)"},
      {"Name LIKE 5", "Ошибка в фильтре: после LIKE нужен образец в апострофах, а не «5» (позиция 11)"},
      {"Qty IN (1, NULL)", "Ошибка в фильтре: NULL в списке IN не допускается (используйте IS NULL) (позиция 12)"},
      {"Qty IN (1 2)", "Ошибка в фильтре: в списке IN нужна «,» или «)», а не «2» (позиция 11)"},
      {"Notes = 'x'",
       "Ошибка в фильтре: поле «Notes» двоичного типа можно проверять только на IS NULL / IS NOT NULL (позиция 1)"},
      {"Name = 'a' ; Qty = 1", "Ошибка в фильтре: недопустимый символ «;» (позиция 12)"},
      {"Ёлка = 1", "Ошибка в фильтре: неизвестное поле «Ёлка» (позиция 1)"},
      {"Sold = True", "Ошибка в фильтре: константа «True» не подходит для поля «Sold» типа «дата» (позиция 8)"},
      {"Qty IN 3", "Ошибка в фильтре: после IN нужен список в скобках, а не «3» (позиция 8)"},
      {"5 Qty", "Ошибка в фильтре: после константы «5» нужна операция сравнения, а не «Qty» (позиция 3)"},
  };
  const Table t;
  for (const auto& c : cases) {
    try {
      Expression::parse(c.filter, t);
      ADD_FAILURE() << "no error for " << c.filter;
    } catch (const EFilterError& e) {
      EXPECT_STREQ(e.what(), c.message) << c.filter;
    }
  }
}

TEST(Filter, DeepNestingIsAnErrorNotACrash) {
  const Table t;
  const std::string deep = std::string(100000, '(') + "Paid" + std::string(100000, ')');
  EXPECT_THROW(Expression::parse(deep, t), EFilterError);
  std::string nots;
  for (int k = 0; k < 100000; ++k) nots += "NOT ";
  EXPECT_THROW(Expression::parse(nots + "Paid", t), EFilterError);
  // Long flat chains are fine: they are kept as one node, not nested.
  std::string chain = "Qty = 0";
  for (int k = 1; k < 20000; ++k) chain += " OR Qty = " + std::to_string(k);
  EXPECT_EQ(select(t, chain), (Ids{1, 2, 4, 5, 7}));
}
