// The text form-resource reader: values, structure, references, loading order
// and errors that name the resource and line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "classlib/Forms.h"
#include "classlib/Resources.h"
#include "classlib/StdCtrls.h"

namespace {

std::vector<std::string> Events;

// Records every property it is given; "Peer" is a reference to another component.
class TRecorder : public TComponent {
 public:
  using TComponent::TComponent;
  std::vector<std::pair<std::string, TPropValue>> Props;
  TComponent* Peer = nullptr;
  TComponent* PeerAtLoad = nullptr;
  TNotifyEvent OnPing;
  bool ReadProperty(TReader& reader, const std::string& name, const TPropValue& value) override {
    if (name == "Peer") {
      reader.Reference(value, [this](TComponent* c) { Peer = c; });
      return true;
    }
    if (name == "OnPing") {
      OnPing = reader.Method<void(TObject*)>(value);
      return true;
    }
    if (name == "Unknown") return false;
    Props.emplace_back(name, value);
    return true;
  }
  void Loaded() override {
    TComponent::Loaded();
    PeerAtLoad = Peer;
    Events.push_back("loaded " + Name());
  }
};
const bool RecorderRegistered = (RegisterComponentClass<TRecorder>("TRecorder"), true);

class TRecorderRoot : public TRecorder {
 public:
  using TRecorder::TRecorder;
  int Pings = 0;
  void Ping(TObject*) { ++Pings; }
  void Closing(TObject*, TCloseAction&) {}
  std::any MethodAddress(const std::string& name) override {
    VORNEL_PUBLISH(Ping);
    VORNEL_PUBLISH(Closing);
    return TRecorder::MethodAddress(name);
  }
};

const TPropValue& Prop(const TRecorder& r, const std::string& name) {
  for (const auto& [n, v] : r.Props)
    if (n == name) return v;
  throw std::runtime_error("no property " + name);
}

class ReaderTest : public testing::Test {
 protected:
  void SetUp() override { Events.clear(); }
  // Reads text into a fresh root and returns the error message, or "" on success.
  std::string ReadError(const std::string& text) {
    TRecorderRoot root(nullptr);
    try {
      TReader::ReadRootComponent("TRecorderRoot", text, &root);
    } catch (const EResourceError& e) {
      return e.Message();
    }
    return "";
  }
};

TEST_F(ReaderTest, ValuesOfEveryKind) {
  const std::string text =
      "object Root1: TRecorderRoot\n"
      "  Plain = 'Vornel_L(Ver0.15)'\n"
      "  Quote = 'It''s'#13#10'ok'\n"
      "  Codes = #65#$42'C'#12354\n"
      "  Japanese = '圧縮率（１：高－低：９９）'\n"
      "  Long = 'first ' +\n"
      "    'second'\n"
      "  Empty = ''\n"
      "  Negative = -12\n"
      "  Hex = $FF\n"
      "  HexPattern = $80000000\n"
      "  Float = 1.5\n"
      "  Font.Name = 'ＭＳ Ｐゴシック'\n"
      "  Ident = clBtnFace\n"
      "  Set1 = [biSystemMenu, biMinimize]\n"
      "  Set2 = []\n"
      "end\n";
  TRecorderRoot root(nullptr);
  TReader::ReadRootComponent("TRecorderRoot", text, &root);
  EXPECT_EQ(root.Name(), "Root1");
  EXPECT_EQ(Prop(root, "Plain").Str, "Vornel_L(Ver0.15)");
  EXPECT_EQ(Prop(root, "Quote").Str, "It's\r\nok");
  EXPECT_EQ(Prop(root, "Codes").Str, "ABCあ");
  EXPECT_EQ(Prop(root, "Japanese").Str, "圧縮率（１：高－低：９９）");
  EXPECT_EQ(Prop(root, "Long").Str, "first second");
  EXPECT_EQ(Prop(root, "Empty").Kind, TPropValue::vaString);
  EXPECT_EQ(Prop(root, "Empty").Str, "");
  EXPECT_EQ(Prop(root, "Negative").Int, -12);
  EXPECT_EQ(Prop(root, "Hex").Int, 255);
  EXPECT_EQ(Prop(root, "HexPattern").Int, INT32_MIN);
  EXPECT_EQ(Prop(root, "Float").Kind, TPropValue::vaFloat);
  EXPECT_DOUBLE_EQ(Prop(root, "Float").Float, 1.5);
  EXPECT_EQ(Prop(root, "Font.Name").Str, "ＭＳ Ｐゴシック");
  EXPECT_EQ(Prop(root, "Ident").Kind, TPropValue::vaIdent);
  EXPECT_EQ(Prop(root, "Ident").Str, "clBtnFace");
  EXPECT_EQ(Prop(root, "Set1").Set, (std::vector<std::string>{"biSystemMenu", "biMinimize"}));
  EXPECT_EQ(Prop(root, "Set2").Kind, TPropValue::vaSet);
  EXPECT_TRUE(Prop(root, "Set2").Set.empty());
  EXPECT_EQ(Prop(root, "Float").Line, 12);
}

TEST_F(ReaderTest, ChildrenReferencesMethodsAndLoadingOrder) {
  const std::string text =
      "object Root1: TRecorderRoot\n"
      "  OnPing = Ping\n"
      "  object A: TRecorder\n"
      "    Peer = B\n"
      "    object C: TRecorder\n"
      "      Peer = Root1\n"
      "    end\n"
      "  end\n"
      "  object B: TRecorder\n"
      "    OnPing = Ping\n"
      "  end\n"
      "END\n";
  TRecorderRoot root(nullptr);
  TReader::ReadRootComponent("TRecorderRoot", text, &root);
  ASSERT_EQ(root.ComponentCount(), 3) << "the root owns every object of the resource";
  auto* a = dynamic_cast<TRecorder*>(root.FindComponent("A"));
  auto* b = dynamic_cast<TRecorder*>(root.FindComponent("B"));
  auto* c = dynamic_cast<TRecorder*>(root.FindComponent("C"));
  ASSERT_TRUE(a && b && c);
  EXPECT_EQ(a->Peer, b) << "a reference forward to a later object";
  EXPECT_EQ(a->PeerAtLoad, b) << "references are resolved before Loaded";
  EXPECT_EQ(c->Peer, &root);
  EXPECT_EQ(Events, (std::vector<std::string>{"loaded A", "loaded C", "loaded B", "loaded Root1"}));
  EXPECT_FALSE(root.Loading());
  EXPECT_FALSE(a->Loading());
  ASSERT_TRUE(b->OnPing);
  b->OnPing(b);
  root.OnPing(&root);
  EXPECT_EQ(root.Pings, 2) << "events are bound to the root's published methods";
}

TEST_F(ReaderTest, ErrorsNameTheResourceAndLine) {
  const std::string head = "object Root1: TRecorderRoot\n";
  EXPECT_EQ(ReadError(head + "  X = 1\n  object A: TFoo\n  end\nend\n"),
            "form resource TRecorderRoot, line 3: unknown class 'TFoo'");
  EXPECT_EQ(ReadError(head + "\n  Unknown = 1\nend\n"),
            "form resource TRecorderRoot, line 3: unknown property 'Unknown' of Root1 (TRecorderRoot)");
  EXPECT_EQ(ReadError(head + "  OnPing = Pong\nend\n"),
            "form resource TRecorderRoot, line 2: unknown method 'Pong'");
  EXPECT_EQ(ReadError(head + "  OnPing = Closing\nend\n"),
            "form resource TRecorderRoot, line 2: method 'Closing' does not fit the event");
  EXPECT_EQ(ReadError(head + "  Peer = Nobody\nend\n"),
            "form resource TRecorderRoot, line 2: unknown component 'Nobody'");
  EXPECT_EQ(ReadError("object Root1: TForm9\nend\n"),
            "form resource TRecorderRoot, line 1: the resource describes a TForm9, not a TRecorderRoot");
  EXPECT_EQ(ReadError(head + "  object A: TRecorder\n  end\n  object A: TRecorder\n  end\nend\n"),
            "form resource TRecorderRoot, line 4: duplicate component name 'A'");
}

TEST_F(ReaderTest, MalformedTextFailsCleanly) {
  const std::string head = "object Root1: TRecorderRoot\n";
  EXPECT_EQ(ReadError(head + "  S = 'open\nend\n"), "form resource TRecorderRoot, line 2: unterminated string");
  EXPECT_EQ(ReadError(head + "  S = 1\n"), "form resource TRecorderRoot, line 3: 'end' expected");
  EXPECT_EQ(ReadError(head + "  S 1\nend\n"), "form resource TRecorderRoot, line 2: '=' expected");
  EXPECT_EQ(ReadError(head + "  S = #\nend\n"),
            "form resource TRecorderRoot, line 2: character code expected after '#'");
  EXPECT_EQ(ReadError(head + "  S = #1114112\nend\n"),
            "form resource TRecorderRoot, line 2: character code out of range");
  EXPECT_EQ(ReadError(head + "  S = 99999999999999999999\nend\n"),
            "form resource TRecorderRoot, line 2: number out of range");
  EXPECT_EQ(ReadError(head + "  S = [a b]\nend\n"), "form resource TRecorderRoot, line 2: ',' expected");
  EXPECT_EQ(ReadError(head + "  S = {0001}\nend\n"), "form resource TRecorderRoot, line 2: unsupported value '{'");
  EXPECT_EQ(ReadError(head + "end\nextra\n"), "form resource TRecorderRoot, line 3: text after the final 'end'");
  EXPECT_EQ(ReadError(""), "form resource TRecorderRoot, line 1: 'object' expected");
  // Arbitrary bytes never crash the reader: they fail with an error.
  std::string garbage;
  for (int i = 0; i < 4000; ++i) garbage += static_cast<char>((i * 7919) % 256);
  EXPECT_NE(ReadError(head + garbage), "");
  EXPECT_NE(ReadError(head + "  X = 'a' + 5\nend\n"), "");
}

TEST_F(ReaderTest, ResourcesAreFoundByName) {
  static const char text[] = "object X: TRecorderRoot\nend\n";
  RegisterFormResource("ReaderTestResource", text);
  EXPECT_EQ(FindFormResource("ReaderTestResource"), std::string_view(text));
  EXPECT_THROW(FindFormResource("NoSuchResource"), EResourceError);
}

// Values of the wrong kind are refused by the classes' own properties.
TEST_F(ReaderTest, ControlsCheckTheirValues) {
  TRecorderRoot root(nullptr);
  auto read = [&](const std::string& props) -> std::string {
    TForm form(nullptr);
    try {
      TReader::ReadRootComponent("TForm", "object F: TForm\n  object L: TLabel\n" + props + "  end\nend\n", &form);
    } catch (const EResourceError& e) {
      return e.Message();
    }
    return "";
  };
  EXPECT_EQ(read("    Caption = 5\n"), "form resource TForm, line 3: string expected");
  EXPECT_EQ(read("    Left = 'x'\n"), "form resource TForm, line 3: integer expected");
  EXPECT_EQ(read("    Visible = Maybe\n"), "form resource TForm, line 3: True or False expected");
  EXPECT_EQ(read("    Font.Color = clNoSuch\n"), "form resource TForm, line 3: unknown colour 'clNoSuch'");
  EXPECT_EQ(read("    Font.Style = [fsBold, fsWide]\n"), "form resource TForm, line 3: unknown font style 'fsWide'");
  EXPECT_EQ(read("    Font.Weight = 3\n"), "form resource TForm, line 3: unknown property 'Font.Weight' of L (TLabel)");
  EXPECT_EQ(read("    Left = 2147483648\n"), "form resource TForm, line 3: number out of range");
  EXPECT_EQ(read("    Left = 3\n    Font.Style = [fsBold]\n"), "");
}

}  // namespace
