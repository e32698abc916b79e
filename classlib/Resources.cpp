#include "classlib/Resources.h"

#include <cctype>
#include <limits>
#include <memory>

#include "classlib/Controls.h"
#include "classlib/Forms.h"

// ---- Registries ----------------------------------------------------------------------------

namespace {

// Function-local, so that registrations from any unit's static initialisation
// find them built.
std::map<std::string, std::string_view>& Resources() {
  static std::map<std::string, std::string_view> map;
  return map;
}

std::map<std::string, TComponentFactory>& Classes() {
  static std::map<std::string, TComponentFactory> map;
  return map;
}

}  // namespace

bool RegisterFormResource(const std::string& name, std::string_view text) {
  Resources()[name] = text;
  return true;
}

std::string_view FindFormResource(const std::string& name) {
  auto it = Resources().find(name);
  if (it == Resources().end()) throw EResourceError("form resource '" + name + "' not found");
  return it->second;
}

void RegisterComponentClass(const std::string& className, TComponentFactory factory) {
  Classes()[className] = std::move(factory);
}

// ---- Tokens ----------------------------------------------------------------------------------

namespace {

struct TToken {
  enum TKind { tkEnd, tkIdent, tkInt, tkFloat, tkString, tkSymbol };
  TKind Kind = tkEnd;
  std::string Text;  // identifier, symbol, or the decoded string
  std::int64_t Int = 0;
  double Float = 0;
  int Line = 1;
};

bool IsIdentStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IsIdentChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

void AppendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace

// The reader's working part: tokenizer, parser and the build of the components.
class TReaderImpl {
 public:
  TReaderImpl(TReader& reader, std::string_view text) : R(reader), S(text) { Next(); }

  void ReadRoot(TComponent* root) {
    std::string name, cls;
    int line = ReadHeader(name, cls);
    std::string want = ClassNameOf(*root);
    if (cls != want)
      Fail(line, "the resource describes a " + cls + ", not a " + want);
    root->SetName(name);
    root->BeginLoading();
    ReadBody(root, root);
    if (T.Kind != TToken::tkEnd) Fail(T.Line, "text after the final 'end'");

    // Fields first, so that references, Loaded and OnCreate find them bound.
    if (auto* form = dynamic_cast<TCustomForm*>(root)) form->BindFields();
    for (auto& [value, assign] : R.FFixups) {
      TComponent* target = nullptr;
      if (LowerCase(value.Str) == LowerCase(root->Name()))
        target = root;
      else
        target = root->FindComponent(value.Str);
      if (!target) Fail(value.Line, "unknown component '" + value.Str + "'");
      assign(target);
    }
    R.FFixups.clear();
    for (TComponent* c : Created) c->Loaded();
    root->Loaded();
  }

 private:
  TReader& R;
  std::string_view S;
  std::size_t P = 0;
  int Line = 1;
  TToken T;
  std::vector<TComponent*> Created;

  [[noreturn]] void Fail(int line, const std::string& what) {
    TPropValue v;
    v.Line = line;
    throw EResourceError(R.ErrorText(v, what));
  }

  // ---- tokenizer ----
  void SkipBlanks() {
    while (P < S.size()) {
      char c = S[P];
      if (c == '\n') {
        ++Line;
        ++P;
      } else if (c == ' ' || c == '\t' || c == '\r') {
        ++P;
      } else {
        break;
      }
    }
  }

  // One run of 'quoted' and #nnn pieces written without blanks between them.
  std::string ReadStringRun() {
    std::string out;
    while (P < S.size() && (S[P] == '\'' || S[P] == '#')) {
      if (S[P] == '\'') {
        ++P;
        for (;;) {
          if (P >= S.size() || S[P] == '\n' || S[P] == '\r') Fail(Line, "unterminated string");
          if (S[P] == '\'') {
            if (P + 1 < S.size() && S[P + 1] == '\'') {
              out += '\'';
              P += 2;
              continue;
            }
            ++P;
            break;
          }
          out += S[P++];
        }
      } else {
        ++P;
        bool hex = P < S.size() && S[P] == '$';
        if (hex) ++P;
        std::uint32_t cp = 0;
        std::size_t digits = 0;
        while (P < S.size()) {
          char c = S[P];
          int d;
          if (c >= '0' && c <= '9')
            d = c - '0';
          else if (hex && std::isxdigit(static_cast<unsigned char>(c)))
            d = std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
          else
            break;
          cp = cp * (hex ? 16 : 10) + static_cast<std::uint32_t>(d);
          if (cp > 0x10FFFF) Fail(Line, "character code out of range");
          ++digits;
          ++P;
        }
        if (digits == 0) Fail(Line, "character code expected after '#'");
        if (cp >= 0xD800 && cp <= 0xDFFF) Fail(Line, "character code out of range");
        AppendUtf8(out, cp);
      }
    }
    return out;
  }

  void Next() {
    SkipBlanks();
    T = TToken();
    T.Line = Line;
    if (P >= S.size()) return;
    char c = S[P];
    if (c == '\'' || c == '#') {
      T.Kind = TToken::tkString;
      T.Text = ReadStringRun();
      return;
    }
    if (IsIdentStart(c)) {
      std::size_t b = P;
      while (P < S.size() && (IsIdentChar(S[P]) || (S[P] == '.' && P + 1 < S.size() && IsIdentStart(S[P + 1]))))
        ++P;
      T.Kind = TToken::tkIdent;
      T.Text = std::string(S.substr(b, P - b));
      return;
    }
    if (std::isdigit(static_cast<unsigned char>(c)) || c == '$' ||
        ((c == '-' || c == '+') && P + 1 < S.size() &&
         (std::isdigit(static_cast<unsigned char>(S[P + 1])) || S[P + 1] == '$'))) {
      ReadNumber();
      return;
    }
    T.Kind = TToken::tkSymbol;
    T.Text = std::string(1, c);
    ++P;
  }

  void ReadNumber() {
    bool negative = false;
    if (S[P] == '-' || S[P] == '+') negative = S[P++] == '-';
    std::size_t b = P;
    if (S[P] == '$') {
      ++P;
      std::uint64_t v = 0;
      std::size_t digits = 0;
      while (P < S.size() && std::isxdigit(static_cast<unsigned char>(S[P]))) {
        char c = static_cast<char>(std::tolower(static_cast<unsigned char>(S[P++])));
        if (++digits > 16) Fail(Line, "number out of range");
        v = v * 16 + static_cast<std::uint64_t>(c <= '9' ? c - '0' : c - 'a' + 10);
      }
      if (digits == 0) Fail(Line, "hexadecimal digits expected");
      T.Kind = TToken::tkInt;
      // Hexadecimal is a bit pattern: up to 8 digits a 32-bit one ($80000000 is negative).
      std::int64_t value = digits <= 8 ? static_cast<std::int64_t>(static_cast<std::int32_t>(static_cast<std::uint32_t>(v)))
                                       : static_cast<std::int64_t>(v);
      T.Int = negative ? -value : value;
    } else {
      while (P < S.size() && std::isdigit(static_cast<unsigned char>(S[P]))) ++P;
      bool isFloat = false;
      if (P + 1 < S.size() && S[P] == '.' && std::isdigit(static_cast<unsigned char>(S[P + 1]))) {
        isFloat = true;
        ++P;
        while (P < S.size() && std::isdigit(static_cast<unsigned char>(S[P]))) ++P;
      }
      if (P < S.size() && (S[P] == 'e' || S[P] == 'E')) {
        std::size_t q = P + 1;
        if (q < S.size() && (S[q] == '+' || S[q] == '-')) ++q;
        if (q < S.size() && std::isdigit(static_cast<unsigned char>(S[q]))) {
          isFloat = true;
          P = q;
          while (P < S.size() && std::isdigit(static_cast<unsigned char>(S[P]))) ++P;
        }
      }
      std::string digits(S.substr(b, P - b));
      if (isFloat) {
        T.Kind = TToken::tkFloat;
        T.Float = std::stod(digits) * (negative ? -1 : 1);
      } else {
        std::uint64_t v = 0;
        for (char c : digits) {
          if (v > (std::numeric_limits<std::uint64_t>::max() - 9) / 10) Fail(Line, "number out of range");
          v = v * 10 + static_cast<std::uint64_t>(c - '0');
        }
        if (v > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
          Fail(Line, "number out of range");
        T.Kind = TToken::tkInt;
        T.Int = negative ? -static_cast<std::int64_t>(v) : static_cast<std::int64_t>(v);
      }
    }
    if (P < S.size() && IsIdentChar(S[P])) Fail(Line, "malformed number");
  }

  bool IsKeyword(const char* word) const {
    return T.Kind == TToken::tkIdent && LowerCase(T.Text) == word;
  }
  bool IsSymbol(char c) const { return T.Kind == TToken::tkSymbol && T.Text[0] == c; }

  void Expect(char c) {
    if (!IsSymbol(c)) Fail(T.Line, std::string("'") + c + "' expected");
    Next();
  }

  // ---- parser ----
  // "object Name: Class" or "object Class"; returns the line.
  int ReadHeader(std::string& name, std::string& cls) {
    if (!IsKeyword("object")) Fail(T.Line, "'object' expected");
    int line = T.Line;
    Next();
    if (T.Kind != TToken::tkIdent) Fail(T.Line, "component name or class expected");
    std::string first = T.Text;
    Next();
    if (IsSymbol(':')) {
      Next();
      if (T.Kind != TToken::tkIdent) Fail(T.Line, "class name expected");
      name = first;
      cls = T.Text;
      Next();
    } else {
      cls = first;
    }
    return line;
  }

  void ReadBody(TComponent* root, TComponent* self) {
    for (;;) {
      if (T.Kind == TToken::tkEnd) Fail(T.Line, "'end' expected");
      if (IsKeyword("end")) {
        Next();
        return;
      }
      if (IsKeyword("object")) {
        ReadChild(root, self);
        continue;
      }
      if (T.Kind != TToken::tkIdent) Fail(T.Line, "property name expected");
      std::string prop = T.Text;
      int line = T.Line;
      Next();
      Expect('=');
      TPropValue value = ReadValue();
      value.Line = line;
      if (!self->ReadProperty(R, prop, value))
        Fail(line, "unknown property '" + prop + "' of " + Describe(self));
    }
  }

  std::string Describe(TComponent* c) const {
    return (c->Name().empty() ? std::string("(unnamed)") : c->Name()) + " (" + ClassNameOf(*c) + ")";
  }

  void ReadChild(TComponent* root, TComponent* self) {
    std::string name, cls;
    int line = ReadHeader(name, cls);
    auto it = Classes().find(cls);
    if (it == Classes().end()) Fail(line, "unknown class '" + cls + "'");
    if (!name.empty() && (root->FindComponent(name) || LowerCase(name) == LowerCase(root->Name())))
      Fail(line, "duplicate component name '" + name + "'");
    // The root owns the new component from here, so a failure below frees it with the root.
    TComponent* c = it->second(root);
    if (!c) Fail(line, "class '" + cls + "' made no component");
    c->SetName(name);
    c->BeginLoading();
    Created.push_back(c);
    if (auto* control = dynamic_cast<TControl*>(c)) {
      auto* parent = dynamic_cast<TWinControl*>(self);
      if (!parent) Fail(line, Describe(self) + " cannot hold the control " + name);
      control->SetParent(parent);
    }
    ReadBody(root, c);
  }

  TPropValue ReadValue() {
    TPropValue v;
    v.Line = T.Line;
    switch (T.Kind) {
      case TToken::tkInt:
        v.Kind = TPropValue::vaInt;
        v.Int = T.Int;
        Next();
        return v;
      case TToken::tkFloat:
        v.Kind = TPropValue::vaFloat;
        v.Float = T.Float;
        Next();
        return v;
      case TToken::tkString:
        v.Kind = TPropValue::vaString;
        v.Str = T.Text;
        Next();
        // Long strings continue on the next line after a '+'.
        while (IsSymbol('+')) {
          Next();
          if (T.Kind != TToken::tkString) Fail(T.Line, "string expected after '+'");
          v.Str += T.Text;
          Next();
        }
        return v;
      case TToken::tkIdent:
        v.Kind = TPropValue::vaIdent;
        v.Str = T.Text;
        Next();
        return v;
      case TToken::tkSymbol:
        if (IsSymbol('[')) {
          v.Kind = TPropValue::vaSet;
          Next();
          if (IsSymbol(']')) {
            Next();
            return v;
          }
          for (;;) {
            if (T.Kind != TToken::tkIdent) Fail(T.Line, "set member expected");
            v.Set.push_back(T.Text);
            Next();
            if (IsSymbol(']')) {
              Next();
              return v;
            }
            Expect(',');
          }
        }
        Fail(T.Line, "unsupported value '" + T.Text + "'");
      case TToken::tkEnd:
        break;
    }
    Fail(T.Line, "value expected");
  }
};

// ---- TReader -------------------------------------------------------------------------------

void TReader::ReadRootComponent(const std::string& resourceName, std::string_view text, TComponent* root) {
  TReader reader(resourceName, root);
  TReaderImpl impl(reader, text);
  impl.ReadRoot(root);
}

void TReader::Reference(const TPropValue& value, std::function<void(TComponent*)> assign) {
  if (value.Kind != TPropValue::vaIdent) throw EResourceError(ErrorText(value, "component name expected"));
  FFixups.emplace_back(value, std::move(assign));
}

std::int64_t TReader::Int(const TPropValue& value) const {
  if (value.Kind != TPropValue::vaInt) throw EResourceError(ErrorText(value, "integer expected"));
  return value.Int;
}

const std::string& TReader::String(const TPropValue& value) const {
  if (value.Kind != TPropValue::vaString) throw EResourceError(ErrorText(value, "string expected"));
  return value.Str;
}

const std::string& TReader::Ident(const TPropValue& value) const {
  if (value.Kind != TPropValue::vaIdent) throw EResourceError(ErrorText(value, "identifier expected"));
  return value.Str;
}

bool TReader::Bool(const TPropValue& value) const {
  if (value.Kind == TPropValue::vaIdent) {
    std::string s = LowerCase(value.Str);
    if (s == "true") return true;
    if (s == "false") return false;
  }
  throw EResourceError(ErrorText(value, "True or False expected"));
}

std::int64_t TReader::IntIn(const TPropValue& value, std::int64_t lo, std::int64_t hi, const char* outOfRange) const {
  const std::int64_t i = Int(value);
  if (i < lo || i > hi) throw EResourceError(ErrorText(value, outOfRange));
  return i;
}

Integer TReader::Int32(const TPropValue& value) const {
  return static_cast<Integer>(IntIn(value, INT32_MIN, INT32_MAX, "number out of range"));
}

std::size_t TReader::IdentIn(const TPropValue& value, std::initializer_list<const char*> names,
                             const char* what) const {
  const std::string id = LowerCase(Ident(value));
  std::size_t index = 0;
  for (const char* name : names) {
    if (id == LowerCase(name)) return index;
    ++index;
  }
  throw EResourceError(ErrorText(value, std::string("unknown ") + what + " '" + value.Str + "'"));
}

unsigned TReader::SetIn(const TPropValue& value, std::initializer_list<std::pair<const char*, unsigned>> members,
                        const char* what) const {
  if (value.Kind != TPropValue::vaSet) throw EResourceError(ErrorText(value, "set expected"));
  unsigned flags = 0;
  for (const std::string& m : value.Set) {
    const std::string id = LowerCase(m);
    auto it = std::find_if(members.begin(), members.end(), [&](const auto& member) { return id == LowerCase(member.first); });
    if (it == members.end()) throw EResourceError(ErrorText(value, std::string("unknown ") + what + " '" + m + "'"));
    flags |= it->second;
  }
  return flags;
}

std::string TReader::ErrorText(const TPropValue& value, const std::string& what) const {
  return "form resource " + FResourceName + ", line " + std::to_string(value.Line) + ": " + what;
}

std::any TReader::FindMethod(const TPropValue& value) {
  if (value.Kind != TPropValue::vaIdent) throw EResourceError(ErrorText(value, "method name expected"));
  std::any m = FRoot->MethodAddress(value.Str);
  if (!m.has_value()) throw EResourceError(ErrorText(value, "unknown method '" + value.Str + "'"));
  return m;
}
