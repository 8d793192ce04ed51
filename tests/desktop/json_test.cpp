// The defaults file: JSON that keeps integers and reals apart, and a store
// that never loses or half-writes the user's settings.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "desktop/json.h"
#include "desktop/json_defaults.h"

using namespace orvella;
using namespace orvella::desktop;
namespace fs = std::filesystem;

namespace {

std::string slurp(const fs::path& p) {
    std::ifstream in(p);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void spill(const fs::path& p, const std::string& text) {
    fs::create_directories(p.parent_path());
    std::ofstream(p) << text;
}

struct StoreTest : ::testing::Test {
    fs::path dir;
    void SetUp() override {
        char pattern[] = "/tmp/orvella-store-XXXXXX";
        dir = ::mkdtemp(pattern);
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path file() const { return dir / "orvella" / "defaults.json"; }
};

}  // namespace

TEST(Json, ParsesEveryKindAndKeepsIntegersApartFromReals) {
    auto v = parseJson(R"( {"i": 3, "r": 3.0, "e": 1e2, "neg": -0.5, "s": "a\"b\\c\u00e9\ud83d\udc1f",
                           "t": true, "f": false, "n": null, "a": [1, "x", []], "o": {"k": {}}} )");
    ASSERT_TRUE(v);
    const auto& o = v->asObject();
    EXPECT_TRUE(o.at("i").isInteger());
    EXPECT_TRUE(o.at("r").isReal());
    EXPECT_DOUBLE_EQ(o.at("e").asNumber(), 100);
    EXPECT_EQ(o.at("s").asString(), "a\"b\\c\xC3\xA9\xF0\x9F\x90\x9F");
    EXPECT_TRUE(o.at("n").isNull());
    EXPECT_EQ(o.at("a").asArray().size(), 3u);
    EXPECT_TRUE(o.at("o").asObject().at("k").isObject());
}

TEST(Json, RejectsMalformedText) {
    for (const char* bad : {"", "{", "{\"a\":}", "[1,]", "{\"a\":1}x", "01", "1.", "-", "\"\\x\"", "\"\\ud800\"",
                            "\"a\nb\"", "tru", "{a:1}", "[1e999]"})
        EXPECT_FALSE(parseJson(bad)) << bad;
    std::string deep(300, '[');
    deep += std::string(300, ']');
    EXPECT_FALSE(parseJson(deep));  // nesting is bounded, never a stack overflow
    std::string ok(200, '[');
    ok += std::string(200, ']');
    EXPECT_TRUE(parseJson(ok));
}

TEST(Json, RoundTripsValuesWithTheirTypes) {
    Value::Object o{{"opacity", Value(1.0)}, {"speed", Value(0.1 + 0.2)}, {"count", Value(60)},
                    {"big", Value(std::int64_t{1} << 60)}, {"text", Value("中文\t\x01")},
                    {"list", Value(Value::Array{Value("a"), Value(false)})}};
    const Value original(o);
    for (bool pretty : {true, false}) {
        auto back = parseJson(serializeJson(original, pretty));
        ASSERT_TRUE(back);
        EXPECT_EQ(*back, original);
        EXPECT_TRUE(back->asObject().at("opacity").isReal());
    }
    EXPECT_EQ(serializeJson(Value(std::numeric_limits<double>::infinity()), false), "null");
}

TEST_F(StoreTest, MissingFileIsEmptyAndTypedReadsReportWrongTypesAsAbsent) {
    JsonFileDefaults store(file());
    EXPECT_FALSE(store.object("Orvella.iconOpacity"));
    EXPECT_FALSE(fs::exists(file()));

    spill(file(), R"({"n": 2, "s": "x", "b": true, "l": ["a", "b"], "mixed": ["a", 1], "d": {"k": 1}})");
    JsonFileDefaults loaded(file());
    EXPECT_EQ(loaded.number("n"), 2.0);
    EXPECT_FALSE(loaded.number("s"));
    EXPECT_EQ(loaded.string("s"), "x");
    EXPECT_FALSE(loaded.boolean("n"));
    EXPECT_EQ(loaded.stringArray("l"), (std::vector<std::string>{"a", "b"}));
    EXPECT_FALSE(loaded.stringArray("mixed"));
    EXPECT_FALSE(loaded.dictionary("l"));
    EXPECT_TRUE(loaded.dictionary("d"));
}

TEST_F(StoreTest, WritesAreAtomicPrivateAndSurviveARestart) {
    {
        JsonFileDefaults store(file());
        store.set("Orvella.swimSpeed", Value(1.5));
        store.set("Orvella.applicationPaths", Value(Value::Array{Value("/a.desktop")}));
        EXPECT_TRUE(store.lastWriteSucceeded());
    }
    struct stat st {};
    ASSERT_EQ(::stat(file().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // No temporary files are left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(file().parent_path()), fs::directory_iterator()), 1);

    JsonFileDefaults again(file());
    EXPECT_EQ(again.number("Orvella.swimSpeed"), 1.5);
    again.remove("Orvella.swimSpeed");
    EXPECT_FALSE(JsonFileDefaults(file()).object("Orvella.swimSpeed"));
    EXPECT_TRUE(JsonFileDefaults(file()).object("Orvella.applicationPaths"));
}

TEST_F(StoreTest, UnparsableFileIsUntouchedUntilTheFirstWriteAndThenKept) {
    spill(file(), "{\"Orvella.iconOpacity\": 0.3,");
    {
        JsonFileDefaults store(file());
        EXPECT_FALSE(store.object("Orvella.iconOpacity"));
        EXPECT_EQ(slurp(file()), "{\"Orvella.iconOpacity\": 0.3,");
        store.set("Orvella.swimSpeed", Value(2.0));
    }
    EXPECT_EQ(slurp(fs::path(file()) += ".unreadable"), "{\"Orvella.iconOpacity\": 0.3,");
    JsonFileDefaults fresh(file());
    EXPECT_EQ(fresh.number("Orvella.swimSpeed"), 2.0);

    // A valid JSON document that is not an object is no store either.
    spill(file(), "[1, 2]");
    EXPECT_FALSE(JsonFileDefaults(file()).object("0"));
}

TEST_F(StoreTest, FailedWriteKeepsTheOldFile) {
    // A file stands where the settings directory should be.
    const fs::path blocked = dir / "file-not-dir" / "defaults.json";
    std::ofstream(dir / "file-not-dir") << "x";
    JsonFileDefaults store(blocked);
    store.set("k", Value(1));
    EXPECT_FALSE(store.lastWriteSucceeded());
    EXPECT_EQ(slurp(dir / "file-not-dir"), "x");
}

TEST_F(StoreTest, LocationFollowsXdgConfigHomeAndIgnoresRelativeValues) {
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = old ? old : "";
    ::setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
    EXPECT_EQ(JsonFileDefaults::defaultLocation(), dir / "orvella" / "defaults.json");
    ::setenv("XDG_CONFIG_HOME", "relative/dir", 1);
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "/tmp";
    EXPECT_EQ(JsonFileDefaults::defaultLocation(), fs::path(home) / ".config" / "orvella" / "defaults.json");
    if (old) ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else ::unsetenv("XDG_CONFIG_HOME");
}
