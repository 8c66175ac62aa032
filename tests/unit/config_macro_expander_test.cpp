// The $(NAME) expander on its own, with a resolver that answers from a table.
// Pure text logic: this file also runs natively under the sanitizers.
#include "config/macro_expander.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

const std::string kLongValue(5000, 'v');  // as an environment value: not in scratch

struct TableEntry {
    const char* name;
    const char* value;
};

// Names as a configuration would answer them. LONG answers with text of its
// own (like an environment variable); the others are copied into scratch, as
// entries and built-in variables are.
const TableEntry kTable[] = {
    {"CV_OEM", "1132"},
    {"CV_SKU", "16"},
    {"EMPTY", ""},
};

struct Resolver {
    std::vector<std::string> names;  // every name asked for, in order
    size_t scratchSize = 0;
};

const char* ResolveFromTable(void* context, const char* name, size_t nameLength, char* scratch,
                             size_t scratchSize) {
    auto* resolver = static_cast<Resolver*>(context);
    // The name is not terminated: only nameLength characters belong to it.
    const std::string wanted(name, nameLength);
    resolver->names.push_back(wanted);
    resolver->scratchSize = scratchSize;
    if (wanted == "LONG") return kLongValue.c_str();
    if (wanted == std::string(300, 'N').substr(0, kMacroNameCap)) return "<capped>";
    for (const TableEntry& entry : kTable) {
        if (wanted == entry.name) {
            std::strncpy(scratch, entry.value, scratchSize - 1);
            scratch[scratchSize - 1] = '\0';
            return scratch;
        }
    }
    return nullptr;
}

constexpr char kGuard = '#';
constexpr size_t kGuardBytes = 64;

// A destination of exactly size bytes followed by guard bytes that must
// survive every expansion.
struct Destination {
    std::vector<char> bytes;
    size_t size;
    explicit Destination(size_t size) : bytes(size + kGuardBytes, kGuard), size(size) {}
    char* data() { return bytes.data(); }
    bool GuardIntact() const {
        for (size_t i = size; i < bytes.size(); ++i)
            if (bytes[i] != kGuard) return false;
        return true;
    }
};

struct ExpandCase {
    const char* name;
    std::string source;
    size_t size;
    std::string expected;
    std::vector<std::string> asked;  // names the resolver must have been asked, in order
};

void PrintTo(const ExpandCase& c, std::ostream* os) { *os << c.name; }

class ExpandMacrosTest : public ::testing::TestWithParam<ExpandCase> {};

TEST_P(ExpandMacrosTest, ExpandsWithinTheDestination) {
    const ExpandCase& c = GetParam();
    Resolver resolver;
    Destination destination(c.size);
    ASSERT_EQ(ExpandMacros(c.source.c_str(), &resolver, ResolveFromTable, destination.data(), c.size),
              destination.data());
    EXPECT_EQ(std::string(destination.data()), c.expected);
    EXPECT_LE(std::strlen(destination.data()), c.size - 2) << "keeps at most size - 2 characters";
    EXPECT_TRUE(destination.GuardIntact()) << "wrote past the destination";
    EXPECT_EQ(resolver.names, c.asked);
    for (size_t i = std::strlen(destination.data()); i < c.size; ++i)
        ASSERT_EQ(destination.data()[i], '\0') << "the rest of the destination is cleared, at " << i;
}

const std::string kName300(300, 'N');

INSTANTIATE_TEST_SUITE_P(
    Cases, ExpandMacrosTest,
    ::testing::Values(
        ExpandCase{"PlainText", "abc", 4096, "abc", {}},
        ExpandCase{"UnknownNameVanishes", "x$(NO_SUCH_NAME)y", 4096, "xy", {"NO_SUCH_NAME"}},
        ExpandCase{"EmptyValueVanishes", "x$(EMPTY)y", 4096, "xy", {"EMPTY"}},
        ExpandCase{"OneMacro", "$(CV_OEM)", 4096, "1132", {"CV_OEM"}},
        ExpandCase{"MacrosAmongText", "oem=$(CV_OEM)&prod=$(CV_SKU)", 4096, "oem=1132&prod=16",
                   {"CV_OEM", "CV_SKU"}},
        ExpandCase{"AdjacentMacros", "$(CV_OEM)$(CV_SKU)", 4096, "113216", {"CV_OEM", "CV_SKU"}},
        ExpandCase{"UnterminatedNameIsStillResolved", "a$(CV_OEM", 4096, "a1132", {"CV_OEM"}},
        ExpandCase{"UnterminatedNameEndsTheExpansion", "$(CV_OEM)-$(CV_SKU&x=1", 4096, "1132-",
                   {"CV_OEM", "CV_SKU&x=1"}},
        ExpandCase{"OpeningAtTheEnd", "abc$(", 4096, "abc", {""}},
        ExpandCase{"EmptyName", "[$()]", 4096, "[]", {""}},
        ExpandCase{"NoNesting", "$(A$(B))", 4096, ")", {"A$(B"}},
        ExpandCase{"StrayCharacters", "a)b$c(d$", 4096, "a)b$c(d$", {}},
        ExpandCase{"DollarBeforeMacro", "$$(CV_OEM)", 4096, "$1132", {"CV_OEM"}},
        ExpandCase{"NameIsNotTrimmed", "$( CV_OEM)", 4096, "", {" CV_OEM"}},
        ExpandCase{"TenBytesKeepEight", "abcdefghijkl", 10, "abcdefgh", {}},
        ExpandCase{"TenBytesCutAValue", "abcdef$(CV_OEM)", 10, "abcdef11", {"CV_OEM"}},
        ExpandCase{"TwoBytesKeepNothing", "abc$(CV_OEM)", 2, "", {"CV_OEM"}},
        ExpandCase{"FullDestinationStillResolves", "abcdef$(CV_OEM)gh$(CV_SKU)", 4, "ab",
                   {"CV_OEM", "CV_SKU"}},
        ExpandCase{"LongSourceKeeps4094", std::string(5000, 's'), 4096, std::string(4094, 's'), {}},
        ExpandCase{"LongNameIsCappedAndSkipped", "<$(" + kName300 + ")>", 4096, "<<capped>>",
                   {kName300.substr(0, kMacroNameCap)}},
        ExpandCase{"LongOutsideValueCutOnlyByRoom", "ab$(LONG)cd", 4096, "ab" + kLongValue.substr(0, 4092),
                   {"LONG"}},
        ExpandCase{"LongOutsideValueInSmallDestination", "$(LONG)", 10, kLongValue.substr(0, 8),
                   {"LONG"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ExpandMacrosRefusalTest, RefusesWithoutTouchingTheDestination) {
    Resolver resolver;
    struct Refusal {
        const char* name;
        const char* source;
        void* context;
        MacroResolver resolve;
        bool destination;
        size_t size;
    } cases[] = {
        {"NullSource", nullptr, &resolver, ResolveFromTable, true, 16},
        {"NullContext", "abc", nullptr, ResolveFromTable, true, 16},
        {"NullResolver", "abc", &resolver, nullptr, true, 16},
        {"NullDestination", "abc", &resolver, ResolveFromTable, false, 16},
        {"SizeOne", "abc", &resolver, ResolveFromTable, true, 1},
        {"SizeZero", "abc", &resolver, ResolveFromTable, true, 0},
    };
    for (const Refusal& c : cases) {
        Destination destination(0);
        EXPECT_EQ(ExpandMacros(c.source, c.context, c.resolve, c.destination ? destination.data() : nullptr,
                               c.size),
                  nullptr)
            << c.name;
        EXPECT_TRUE(destination.GuardIntact()) << c.name;
    }
    EXPECT_TRUE(resolver.names.empty());
}

TEST(ExpandMacrosTest, HandsTheResolverTheScratchSize) {
    Resolver resolver;
    Destination destination(16);
    ExpandMacros("$(CV_OEM)", &resolver, ResolveFromTable, destination.data(), 16);
    EXPECT_EQ(resolver.scratchSize, kMacroScratchSize);
}

// A resolver that expands values which name further values, as configuration
// entries do, with the same bound on nesting: each level must own its buffers.
struct NestedTable {
    int depth = 0;
    int deepest = 0;
};

const char* ResolveNested(void* context, const char* name, size_t nameLength, char* scratch,
                          size_t scratchSize) {
    auto* table = static_cast<NestedTable*>(context);
    const std::string wanted(name, nameLength);
    const char* raw = wanted == "LINK"  ? "$(PATH)&link_id=1"
                      : wanted == "PATH" ? "$(BASE)?$(IDENT)"
                      : wanted == "IDENT" ? "oem=$(OEM)&lang=$(LANG)"
                      : wanted == "BASE"  ? "http://example.invalid/redirect/route"
                      : wanted == "OEM"   ? "1132"
                      : wanted == "SELF"  ? "<$(SELF)>"
                                          : nullptr;
    if (raw == nullptr || table->depth >= 16) return nullptr;
    ++table->depth;
    if (table->depth > table->deepest) table->deepest = table->depth;
    std::vector<char> value(4096);
    const char* expanded = ExpandMacros(raw, context, ResolveNested, value.data(), value.size());
    --table->depth;
    if (expanded == nullptr) return nullptr;
    std::strncpy(scratch, expanded, scratchSize - 1);
    scratch[scratchSize - 1] = '\0';
    return scratch;
}

TEST(ExpandMacrosTest, NestsThroughTheResolver) {
    NestedTable table;
    Destination destination(4096);
    ExpandMacros("$(LINK)", &table, ResolveNested, destination.data(), 4096);
    EXPECT_STREQ(destination.data(), "http://example.invalid/redirect/route?oem=1132&lang=&link_id=1");
    EXPECT_EQ(table.deepest, 4);  // LINK, PATH, IDENT, OEM: the delivered link's four levels
    EXPECT_EQ(table.depth, 0);
}

TEST(ExpandMacrosTest, BoundedSelfReferenceEndsWithADefinedText) {
    NestedTable table;
    Destination destination(4096);
    ExpandMacros("$(SELF)", &table, ResolveNested, destination.data(), 4096);
    EXPECT_EQ(std::string(destination.data()), std::string(16, '<') + std::string(16, '>'));
    EXPECT_TRUE(destination.GuardIntact());
}

struct SplitCase {
    const char* name;
    const char* text;
    const char* token;
    size_t cap;
    size_t pieceLength;
    ptrdiff_t cursorAfter;  // offset of the cursor afterwards, -1 for consumed
};

TEST(SplitAtTokenTest, SplitsAtTheFirstToken) {
    const SplitCase cases[] = {
        {"TokenFound", "ab$(cd", "$(", 100, 2, 4},
        {"FirstOfTwo", "a)b)c", ")", 100, 1, 2},
        {"CappedPiece", "abcdef)g", ")", 3, 3, 7},
        {"TokenAtStart", "$(x", "$(", 100, 0, 2},
        {"NotFound", "abc", ")", 100, 3, -1},
        {"NotFoundCapped", "abcdef", ")", 2, 2, -1},
        {"EmptyRest", "", ")", 100, 0, -1},
    };
    for (const SplitCase& c : cases) {
        const char* cursor = c.text;
        const char* piece = nullptr;
        size_t length = c.cap;
        SplitAtToken(&cursor, c.token, &piece, &length);
        EXPECT_EQ(piece, c.text) << c.name;
        EXPECT_EQ(length, c.pieceLength) << c.name;
        if (c.cursorAfter < 0) {
            EXPECT_EQ(cursor, nullptr) << c.name;
        } else {
            EXPECT_EQ(cursor, c.text + c.cursorAfter) << c.name;
        }
    }
}

TEST(AppendPieceTest, KeepsOneByteInReserve) {
    struct AppendCase {
        const char* name;
        size_t room;
        const char* text;
        size_t limit;
        const char* expected;
    } cases[] = {
        {"Fits", 10, "abc", 100, "abc"},
        {"CutByLimit", 10, "abcdef", 2, "ab"},
        {"CutByRoom", 4, "abcdef", 100, "abc"},
        {"RoomOneAddsNothing", 1, "abc", 100, ""},
        {"LimitPastTheTextReadsNoFurther", 10, "ab", 1000, "ab"},
    };
    for (const AppendCase& c : cases) {
        Destination destination(c.room);
        MacroOutput output = {destination.data(), c.room};
        AppendPiece(&output, c.text, c.limit);
        EXPECT_STREQ(destination.data(), c.expected) << c.name;
        EXPECT_EQ(output.write, destination.data() + std::strlen(c.expected)) << c.name;
        EXPECT_EQ(output.room, c.room - std::strlen(c.expected)) << c.name;
        EXPECT_TRUE(destination.GuardIntact()) << c.name;
    }
}

}  // namespace
