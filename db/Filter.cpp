#include "db/Filter.h"

#include "common/CodePage.h"
#include "common/TextUtils.h"

#include <charconv>

namespace filter {

using codepage::nextCodePoint;

namespace {

// Deeper nesting of parentheses and NOTs than any hand-written filter has; the limit keeps
// a malformed or generated text from exhausting the stack.
constexpr int kMaxDepth = 256;

// Markers of the LIKE wildcards in a compiled pattern: above the Unicode range, so no
// character of the text can equal them.
constexpr char32_t kLikeAny = 0xFFFFFFFF;  // %
constexpr char32_t kLikeOne = 0xFFFFFFFE;  // _

enum class Tok { End, Word, Bracketed, String, Number, LParen, RParen, Comma, Compare };

struct Token {
  Tok type = Tok::End;
  std::string text;   // word / name / string value (quotes removed) / number literal
  std::string_view source;  // the token as written, for messages
  Expression::Cmp cmp = Expression::Cmp::Eq;
  int pos = 0;        // 1-based character position
};

[[noreturn]] void fail(const std::string& what, int pos) {
  throw EFilterError("Ошибка в фильтре: " + what + " (позиция " + std::to_string(pos) + ")", pos);
}

std::string quoted(std::string_view s) { return "«" + std::string(s) + "»"; }

bool isAsciiLetter(char32_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
// Any non-ASCII character counts as a letter in names: the engine always took every
// national character of the code page that way, so Cyrillic names need no brackets.
bool isNameStart(char32_t c) { return isAsciiLetter(c) || c == '_' || c >= 0x80; }
bool isNameChar(char32_t c) {
  return isNameStart(c) || text::IsDigitChar(c) || c == '.' || c == '[' || c == ']';
}

class Lexer {
public:
  explicit Lexer(std::string_view s) : s_(s) {}

  std::vector<Token> run() {
    std::vector<Token> out;
    for (;;) {
      skipBlanksAndComments();
      Token t;
      t.pos = pos_;
      const size_t start = i_;
      if (i_ >= s_.size()) {
        t.type = Tok::End;
        out.push_back(std::move(t));
        return out;
      }
      const char32_t c = peek();
      if (c == '(' || c == ')' || c == ',') {
        advance();
        t.type = c == '(' ? Tok::LParen : c == ')' ? Tok::RParen : Tok::Comma;
      } else if (c == '=' || c == '<' || c == '>') {
        advance();
        using C = Expression::Cmp;
        t.type = Tok::Compare;
        t.cmp = c == '=' ? C::Eq : c == '<' ? C::Lt : C::Gt;
        if (c == '<' && i_ < s_.size() && s_[i_] == '>') { advance(); t.cmp = C::Ne; }
        else if (c != '=' && i_ < s_.size() && s_[i_] == '=') { advance(); t.cmp = c == '<' ? C::Le : C::Ge; }
      } else if (c == '\'') {
        t.type = Tok::String;
        advance();
        for (;;) {
          if (i_ >= s_.size()) fail("незакрытая строка " + quoted(s_.substr(start)), t.pos);
          if (s_[i_] == '\'') {
            advance();
            if (i_ < s_.size() && s_[i_] == '\'') { t.text.push_back('\''); advance(); continue; }
            break;
          }
          const size_t from = i_;
          advance();
          t.text.append(s_.substr(from, i_ - from));
        }
      } else if (c == '[') {
        t.type = Tok::Bracketed;
        advance();
        const size_t from = i_;
        while (i_ < s_.size() && s_[i_] != ']') advance();
        if (i_ >= s_.size()) fail("не закрыта квадратная скобка в имени " + quoted(s_.substr(start)), t.pos);
        t.text = std::string(s_.substr(from, i_ - from));
        advance();
        if (text::Trim(t.text).empty()) fail("пустое имя поля []", t.pos);
      } else if (startsNumber()) {
        t.type = Tok::Number;
        lexNumber();
        t.text = std::string(s_.substr(start, i_ - start));
        if (i_ < s_.size() && isNameChar(peek())) {
          while (i_ < s_.size() && isNameChar(peek())) advance();
          fail("неверное число " + quoted(s_.substr(start, i_ - start)), t.pos);
        }
      } else if (isNameStart(c)) {
        t.type = Tok::Word;
        while (i_ < s_.size() && isNameChar(peek())) advance();
        t.text = std::string(s_.substr(start, i_ - start));
      } else if (c == '"') {
        fail("недопустимый символ «\"» (строки заключаются в апострофы: 'текст')", t.pos);
      } else if (c == '+' || c == '-' || c == '*' || c == '/') {
        fail("арифметические действия не поддерживаются: " + quoted(s_.substr(start, 1)), t.pos);
      } else {
        advance();
        fail("недопустимый символ " + quoted(s_.substr(start, i_ - start)), t.pos);
      }
      t.source = s_.substr(start, i_ - start);
      out.push_back(std::move(t));
    }
  }

private:
  char32_t peek() const {
    size_t k = i_;
    return nextCodePoint(s_, k);
  }
  void advance() {
    nextCodePoint(s_, i_);
    ++pos_;
  }
  bool digitAt(size_t k) const { return k < s_.size() && text::IsDigitChar(static_cast<unsigned char>(s_[k])); }

  bool startsNumber() const {
    size_t k = i_;
    if (s_[k] == '-') ++k;
    if (digitAt(k)) return true;
    return k < s_.size() && s_[k] == '.' && digitAt(k + 1);
  }
  void lexNumber() {
    if (s_[i_] == '-') advance();
    while (digitAt(i_)) advance();
    if (i_ < s_.size() && s_[i_] == '.') {
      advance();
      while (digitAt(i_)) advance();
    }
    if (i_ < s_.size() && (s_[i_] == 'e' || s_[i_] == 'E')) {
      size_t k = i_ + 1;
      if (k < s_.size() && (s_[k] == '+' || s_[k] == '-')) ++k;
      if (digitAt(k)) {
        while (i_ < k) advance();
        while (digitAt(i_)) advance();
      }
    }
  }
  void skipBlanksAndComments() {
    for (;;) {
      while (i_ < s_.size() && static_cast<unsigned char>(s_[i_]) <= ' ') advance();
      if (i_ + 1 < s_.size() && s_[i_] == '/' && s_[i_ + 1] == '*') {
        const int at = pos_;
        advance();
        advance();
        for (;;) {
          if (i_ >= s_.size()) fail("незакрытый комментарий /*", at);
          if (s_[i_] == '*' && i_ + 1 < s_.size() && s_[i_ + 1] == '/') {
            advance();
            advance();
            break;
          }
          advance();
        }
        continue;
      }
      return;
    }
  }

  std::string_view s_;
  size_t i_ = 0;
  int pos_ = 1;
};

std::vector<char32_t> toCodePoints(std::string_view s, bool upper) {
  std::vector<char32_t> out;
  size_t i = 0;
  while (i < s.size()) {
    const char32_t c = nextCodePoint(s, i);
    out.push_back(upper ? text::UpperChar(c) : c);
  }
  return out;
}

// Compares a value's text with a constant that is already upper-cased.
int compareFolded(std::string_view value, std::string_view upperConst) {
  size_t i = 0, j = 0;
  while (i < value.size() && j < upperConst.size()) {
    const char32_t a = text::UpperChar(nextCodePoint(value, i));
    const char32_t b = nextCodePoint(upperConst, j);
    if (a != b) return a < b ? -1 : 1;
  }
  if (i < value.size()) return 1;
  if (j < upperConst.size()) return -1;
  return 0;
}

bool startsWithFolded(std::string_view value, std::string_view upperPrefix) {
  size_t i = 0, j = 0;
  while (j < upperPrefix.size()) {
    if (i >= value.size()) return false;
    if (text::UpperChar(nextCodePoint(value, i)) != nextCodePoint(upperPrefix, j)) return false;
  }
  return true;
}

bool likeMatch(std::string_view s, const std::vector<char32_t>& p, bool fold) {
  size_t si = 0, pi = 0;
  size_t starP = SIZE_MAX, starS = 0;
  while (si < s.size()) {
    if (pi < p.size() && p[pi] == kLikeAny) {
      starP = pi++;
      starS = si;
      continue;
    }
    if (pi < p.size()) {
      size_t ns = si;
      char32_t c = nextCodePoint(s, ns);
      if (fold) c = text::UpperChar(c);
      if (p[pi] == kLikeOne || p[pi] == c) {
        si = ns;
        ++pi;
        continue;
      }
    }
    if (starP == SIZE_MAX) return false;
    // Let the last % swallow one more character and try again from there.
    pi = starP + 1;
    nextCodePoint(s, starS);
    si = starS;
  }
  while (pi < p.size() && p[pi] == kLikeAny) ++pi;
  return pi == p.size();
}

bool isIntegral(Kind k) { return k == Kind::Integer || k == Kind::Date || k == Kind::Time; }

// Numbers and moments on one scale: Date counts days, DateTime milliseconds, so a Date
// compared with a DateTime constant is taken at its midnight.
double asNumber(const Value& v) {
  switch (v.kind) {
    case Kind::Integer:
    case Kind::Time: return static_cast<double>(v.i);
    case Kind::Date: return static_cast<double>(v.i) * 86400000.0;
    case Kind::Boolean: return v.b ? 1.0 : 0.0;
    default: return v.d;
  }
}

template <typename T>
int sign3(T a, T b) { return a < b ? -1 : (b < a ? 1 : 0); }

const char* kindName(Kind k) {
  switch (k) {
    case Kind::String: return "текстового типа";
    case Kind::Integer: return "целого типа";
    case Kind::Float: return "числового типа";
    case Kind::Boolean: return "логического типа";
    case Kind::Date: return "типа «дата»";
    case Kind::Time: return "типа «время»";
    case Kind::DateTime: return "типа «дата и время»";
    case Kind::Blob: return "двоичного типа";
    default: return "этого типа";
  }
}

}  // namespace

class Parser {
public:
  Parser(std::string_view text, const Resolver& resolver, Options options, Expression& e)
      : tokens_(Lexer(text).run()), resolver_(resolver), options_(options), e_(e) {}

  void run() {
    if (peek().type == Tok::End) return;
    e_.root_ = parseOr(0);
    const Token& t = peek();
    if (t.type == Tok::RParen) fail("лишняя закрывающая скобка «)»", t.pos);
    if (t.type != Tok::End) fail("между условиями нужно AND или OR, а не " + quoted(t.source), t.pos);
  }

private:
  using Node = Expression::Node;
  using Op = Expression::Op;
  using Cmp = Expression::Cmp;

  struct Operand {
    bool isField = false;
    FieldRef field;
    Token token;
  };

  const Token& peek(size_t ahead = 0) const {
    const size_t k = std::min(p_ + ahead, tokens_.size() - 1);
    return tokens_[k];
  }
  const Token& take() {
    const Token& t = tokens_[p_];
    if (p_ + 1 < tokens_.size()) ++p_;
    return t;
  }
  static bool isKeyword(const Token& t, std::string_view kw) {
    return t.type == Tok::Word && text::UpperCase(t.text) == kw;
  }
  static bool isConstantWord(const Token& t) {
    return isKeyword(t, "TRUE") || isKeyword(t, "FALSE") || isKeyword(t, "NULL");
  }
  // need is a whole phrase ("после IS нужно NULL"): Russian agreement differs per item.
  [[noreturn]] void unexpected(const Token& t, const std::string& need) const {
    if (t.type == Tok::End) fail(need + ", а текст фильтра закончился", t.pos);
    fail(need + ", а не " + quoted(t.source), t.pos);
  }

  int add(Node n) {
    if (n.field >= 0) {
      bool seen = false;
      for (int f : e_.fieldIndexes_) seen = seen || f == n.field;
      if (!seen) e_.fieldIndexes_.push_back(n.field);
    }
    e_.nodes_.push_back(std::move(n));
    return static_cast<int>(e_.nodes_.size() - 1);
  }

  int parseChain(int depth, Op op, std::string_view kw) {
    const int first = op == Op::Or ? parseChain(depth, Op::And, "AND") : parseNot(depth);
    if (!isKeyword(peek(), kw)) return first;
    Node n;
    n.op = op;
    n.children.push_back(first);
    while (isKeyword(peek(), kw)) {
      take();
      n.children.push_back(op == Op::Or ? parseChain(depth, Op::And, "AND") : parseNot(depth));
    }
    return add(std::move(n));
  }
  int parseOr(int depth) { return parseChain(depth, Op::Or, "OR"); }

  int parseNot(int depth) {
    if (depth > kMaxDepth) fail("слишком глубокая вложенность условий", peek().pos);
    if (isKeyword(peek(), "NOT")) {
      take();
      Node n;
      n.op = Op::Not;
      n.children.push_back(parseNot(depth + 1));
      return add(std::move(n));
    }
    if (peek().type == Tok::LParen) {
      take();
      const int inner = parseOr(depth + 1);
      if (peek().type != Tok::RParen) unexpected(peek(), "нужна закрывающая скобка «)»");
      take();
      return inner;
    }
    return parseCondition();
  }

  Operand parseOperand() {
    const Token& t = peek();
    Operand o;
    o.token = t;
    switch (t.type) {
      case Tok::String:
      case Tok::Number:
        take();
        return o;
      case Tok::Word:
        if (isConstantWord(t)) {
          take();
          return o;
        }
        if (isKeyword(t, "AND") || isKeyword(t, "OR") || isKeyword(t, "LIKE") || isKeyword(t, "IN") ||
            isKeyword(t, "IS"))
          unexpected(t, "нужно поле или условие");
        if (peek(1).type == Tok::LParen) fail("функции в фильтре не поддерживаются: " + quoted(t.source), t.pos);
        [[fallthrough]];
      case Tok::Bracketed: {
        auto f = resolver_.findField(t.text);
        if (!f) fail("неизвестное поле " + quoted(t.text), t.pos);
        take();
        o.isField = true;
        o.field = std::move(*f);
        return o;
      }
      default:
        unexpected(t, "нужно поле или условие");
    }
  }

  static Cmp mirrored(Cmp c) {
    switch (c) {
      case Cmp::Lt: return Cmp::Gt;
      case Cmp::Gt: return Cmp::Lt;
      case Cmp::Le: return Cmp::Ge;
      case Cmp::Ge: return Cmp::Le;
      default: return c;
    }
  }

  int parseCondition() {
    Operand a = parseOperand();
    if (!a.isField) {
      // A constant first: only "constant op field" makes sense.
      if (peek().type != Tok::Compare) unexpected(peek(), "после константы " + quoted(a.token.source) + " нужна операция сравнения");
      const Cmp cmp = take().cmp;
      Operand b = parseOperand();
      if (!b.isField)
        fail("сравнение двух констант не поддерживается: " + quoted(b.token.source), b.token.pos);
      return comparison(b, mirrored(cmp), a.token);
    }
    const Token& t = peek();
    if (t.type == Tok::Compare) {
      const Cmp cmp = take().cmp;
      Operand b = parseOperand();
      if (b.isField) fail("сравнение двух полей не поддерживается: " + quoted(b.token.source), b.token.pos);
      return comparison(a, cmp, b.token);
    }
    if (isKeyword(t, "IS")) {
      take();
      Node n;
      n.op = Op::IsNull;
      if (isKeyword(peek(), "NOT")) {
        take();
        n.op = Op::IsNotNull;
      }
      if (!isKeyword(peek(), "NULL")) unexpected(peek(), "после IS нужно NULL");
      take();
      return leaf(std::move(n), a.field);
    }
    bool negate = false;
    if (isKeyword(t, "NOT") && (isKeyword(peek(1), "LIKE") || isKeyword(peek(1), "IN"))) {
      take();
      negate = true;
    }
    if (isKeyword(peek(), "LIKE")) return like(a, negate);
    if (isKeyword(peek(), "IN")) return in(a, negate);
    // A field alone is a condition only when it is logical.
    if (a.field.kind != Kind::Boolean) {
      if (t.type == Tok::End || t.type == Tok::RParen || isKeyword(t, "AND") || isKeyword(t, "OR"))
        fail("поле " + quoted(a.field.name) + " не логическое: нужна операция сравнения", a.token.pos);
      unexpected(t, "после поля " + quoted(a.field.name) + " нужна операция сравнения");
    }
    Node n;
    n.op = Op::BoolField;
    return leaf(std::move(n), a.field);
  }

  int leaf(Node n, const FieldRef& f) {
    n.field = f.index;
    n.fieldKind = f.kind;
    return add(std::move(n));
  }

  static bool comparable(Kind k) { return k != Kind::Blob && k != Kind::Other; }

  // The constant of token t converted to the kind of field f, upper-cased text when the
  // comparison ignores case.
  Value constant(const FieldRef& f, const Token& t) const {
    Value v;
    v.null = false;
    if (t.type == Tok::Word) {  // True / False (NULL is handled by the callers)
      if (f.kind != Kind::Boolean)
        fail("константа " + quoted(t.source) + " не подходит для поля " + quoted(f.name) + " " + kindName(f.kind), t.pos);
      v.kind = Kind::Boolean;
      v.b = isKeyword(t, "TRUE");
      return v;
    }
    if (f.kind == Kind::String) {
      v.kind = Kind::String;
      v.s = options_.caseInsensitive ? text::UpperCase(t.text) : t.text;
      return v;
    }
    std::string error;
    if (resolver_.convertConstant(f, t.text, v, error)) {
      v.null = false;
      return v;
    }
    if (f.kind == Kind::Integer) {
      // Qty > 2.5: compare the integer with the fractional number rather than refuse.
      FieldRef asFloat = f;
      asFloat.kind = Kind::Float;
      std::string ignored;
      Value fv;
      if (resolver_.convertConstant(asFloat, t.text, fv, ignored)) {
        fv.null = false;
        return fv;
      }
    }
    if (t.type == Tok::Number && (f.kind == Kind::Integer || f.kind == Kind::Float)) {
      // The literal syntax is fixed (a point, never a comma), whatever the resolver's
      // conventions are.
      double d = 0;
      const auto r = std::from_chars(t.text.data(), t.text.data() + t.text.size(), d);
      if (r.ec == std::errc() && r.ptr == t.text.data() + t.text.size()) {
        v.kind = Kind::Float;
        v.d = d;
        return v;
      }
    }
    std::string what = "константа " + quoted(t.text) + " не подходит для поля " + quoted(f.name);
    if (!error.empty()) what += ": " + error;
    fail(what, t.pos);
  }

  int comparison(const Operand& field, Cmp cmp, const Token& c) {
    const FieldRef& f = field.field;
    Node n;
    const bool equality = cmp == Cmp::Eq || cmp == Cmp::Ne;
    if (isKeyword(c, "NULL")) {
      if (!equality) fail("с NULL можно сравнивать только через = и <>", c.pos);
      n.op = cmp == Cmp::Eq ? Op::IsNull : Op::IsNotNull;
      return leaf(std::move(n), f);
    }
    if (c.type == Tok::String && c.text.empty() && equality) {
      // The tables store an empty text as blank, so = '' is the blank test.
      n.op = cmp == Cmp::Eq ? Op::IsNull : Op::IsNotNull;
      return leaf(std::move(n), f);
    }
    if (!comparable(f.kind))
      fail("поле " + quoted(f.name) + " " + kindName(f.kind) + " можно проверять только на IS NULL / IS NOT NULL",
           field.token.pos);
    n.cmp = cmp;
    n.op = Op::Compare;
    if (f.kind == Kind::String && equality && !options_.noPartialCompare && c.type == Tok::String &&
        c.text.size() > 1 && c.text.back() == '*') {
      n.op = cmp == Cmp::Eq ? Op::Prefix : Op::NotPrefix;
      Token prefix = c;
      prefix.text.pop_back();
      n.constant = constant(f, prefix);
      return leaf(std::move(n), f);
    }
    n.constant = constant(f, c);
    return leaf(std::move(n), f);
  }

  int like(const Operand& field, bool negate) {
    take();  // LIKE
    const FieldRef& f = field.field;
    if (f.kind != Kind::String) fail("LIKE применим только к текстовым полям, а " + quoted(f.name) + " не такое", field.token.pos);
    const Token& p = peek();
    if (p.type != Tok::String) unexpected(p, "после LIKE нужен образец в апострофах");
    take();
    Node n;
    n.op = Op::Like;
    n.negate = negate;
    for (char32_t c : toCodePoints(p.text, options_.caseInsensitive))
      n.pattern.push_back(c == '%' ? kLikeAny : c == '_' ? kLikeOne : c);
    return leaf(std::move(n), f);
  }

  int in(const Operand& field, bool negate) {
    take();  // IN
    const FieldRef& f = field.field;
    if (!comparable(f.kind))
      fail("поле " + quoted(f.name) + " " + kindName(f.kind) + " нельзя проверять через IN", field.token.pos);
    if (peek().type != Tok::LParen) unexpected(peek(), "после IN нужен список в скобках");
    take();
    Node n;
    n.op = Op::In;
    n.negate = negate;
    for (;;) {
      const Token& t = peek();
      if (t.type != Tok::String && t.type != Tok::Number && !(t.type == Tok::Word && isConstantWord(t)))
        unexpected(t, "в списке IN нужна константа");
      if (isKeyword(t, "NULL")) fail("NULL в списке IN не допускается (используйте IS NULL)", t.pos);
      n.list.push_back(constant(f, t));
      take();
      if (peek().type == Tok::Comma) {
        take();
        continue;
      }
      if (peek().type != Tok::RParen) unexpected(peek(), "в списке IN нужна «,» или «)»");
      take();
      break;
    }
    return leaf(std::move(n), f);
  }

  std::vector<Token> tokens_;
  size_t p_ = 0;
  const Resolver& resolver_;
  Options options_;
  Expression& e_;
};

std::unique_ptr<Expression> Expression::parse(std::string_view text, const Resolver& resolver, Options options) {
  std::unique_ptr<Expression> e(new Expression());
  e->options_ = options;
  Parser(text, resolver, options, *e).run();
  return e;
}

bool Expression::matches(const RecordAccess& record) const {
  return root_ < 0 || eval(root_, record) == True;
}

namespace {

// Blank values: NULL, and an empty text, which the tables cannot tell apart from NULL.
bool blank(const Value& v, Kind fieldKind) {
  return v.null || ((fieldKind == Kind::String || fieldKind == Kind::Blob) && v.s.empty());
}

// Three-way comparison of a value with a converted constant.
int compareValue(const Value& v, const Value& c, Kind fieldKind, bool caseInsensitive) {
  if (fieldKind == Kind::String) return caseInsensitive ? compareFolded(v.s, c.s) : sign3(v.s.compare(c.s), 0);
  if (v.kind == Kind::Boolean && c.kind == Kind::Boolean) return sign3(v.b, c.b);
  if (isIntegral(v.kind) && v.kind == c.kind) return sign3(v.i, c.i);
  return sign3(asNumber(v), asNumber(c));
}

}  // namespace

Expression::Tri Expression::compare(const Node& n, const Value& v) const {
  const int r = compareValue(v, n.constant, n.fieldKind, options_.caseInsensitive);
  bool ok = false;
  switch (n.cmp) {
    case Cmp::Eq: ok = r == 0; break;
    case Cmp::Ne: ok = r != 0; break;
    case Cmp::Lt: ok = r < 0; break;
    case Cmp::Gt: ok = r > 0; break;
    case Cmp::Le: ok = r <= 0; break;
    case Cmp::Ge: ok = r >= 0; break;
  }
  return ok ? True : False;
}

Expression::Tri Expression::eval(int index, const RecordAccess& record) const {
  const Node& n = nodes_[static_cast<size_t>(index)];
  switch (n.op) {
    case Op::And: {
      Tri r = True;
      for (int c : n.children) {
        const Tri t = eval(c, record);
        if (t == False) return False;
        if (t == Unknown) r = Unknown;
      }
      return r;
    }
    case Op::Or: {
      Tri r = False;
      for (int c : n.children) {
        const Tri t = eval(c, record);
        if (t == True) return True;
        if (t == Unknown) r = Unknown;
      }
      return r;
    }
    case Op::Not: {
      const Tri t = eval(n.children.front(), record);
      return t == Unknown ? Unknown : (t == True ? False : True);
    }
    default: break;
  }
  const Value v = record.fieldValue(n.field);
  const bool isBlank = blank(v, n.fieldKind);
  switch (n.op) {
    case Op::IsNull: return isBlank ? True : False;
    case Op::IsNotNull: return isBlank ? False : True;
    default: break;
  }
  if (isBlank) return Unknown;
  switch (n.op) {
    case Op::Compare: return compare(n, v);
    case Op::Prefix:
    case Op::NotPrefix: {
      const bool starts = options_.caseInsensitive ? startsWithFolded(v.s, n.constant.s)
                                                   : std::string_view(v.s).starts_with(n.constant.s);
      return starts == (n.op == Op::Prefix) ? True : False;
    }
    case Op::Like: return likeMatch(v.s, n.pattern, options_.caseInsensitive) != n.negate ? True : False;
    case Op::In: {
      bool found = false;
      for (size_t k = 0; k < n.list.size() && !found; ++k)
        found = compareValue(v, n.list[k], n.fieldKind, options_.caseInsensitive) == 0;
      return found != n.negate ? True : False;
    }
    case Op::BoolField: return v.b ? True : False;
    default: return Unknown;
  }
}

}  // namespace filter
