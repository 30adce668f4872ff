#include <gtest/gtest.h>

#include "TempDir.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/PropertyList.h"

namespace {

void write(const std::string& path, const std::string& text)
{
    ASSERT_TRUE(NSString::writeToFile_atomically(text, path, false)) << path;
}

TEST(NSBundleResources, TypedNameFirstThenTheExactName)
{
    TempDir dir;
    write(dir / "menu_icon.png", "png");
    write(dir / "menu_icon.png.png", "double");
    write(dir / "guide1.jpg", "jpg");
    write(dir / "Shader.fsh", "void main(){}");
    write(dir / "README", "plain");
    std::filesystem::create_directories(dir / "en.lproj");
    write(dir / "en.lproj/only_here.txt", "x");
    std::filesystem::create_directories(dir / "sounds");
    write(dir / "sounds/pull.wav", "RIFF");
    NSBundle::setMainBundlePath(dir.path());
    auto bundle = NSBundle::mainBundle();
    ASSERT_EQ(bundle->bundlePath(), dir.path());

    struct Case {
        const char* name;
        const char* type;
        std::string expected;
    };
    const Case table[] = {
        {"menu_icon", "png", dir / "menu_icon.png"},
        {"menu_icon.png", "png", dir / "menu_icon.png.png"},  // name.type exists, so it wins
        {"guide1.jpg", "jpg", dir / "guide1.jpg"},           // falls back to the exact name
        {"Shader", "fsh", dir / "Shader.fsh"},
        {"Shader", ".fsh", dir / "Shader.fsh"},
        {"README", "", dir / "README"},
        {"README", "txt", dir / "README"},
        {"only_here", "txt", dir / "en.lproj/only_here.txt"},
        {"missing", "png", ""},
        {"", "png", ""},
        {"sounds", "", ""},  // folders are not resources
    };
    for (const auto& c : table) {
        EXPECT_EQ(bundle->pathForResource_ofType(c.name, c.type), c.expected) << c.name << " " << c.type;
    }
    EXPECT_EQ(bundle->pathForResource_ofType_inDirectory("pull", "wav", "sounds"), dir / "sounds/pull.wav");
    EXPECT_EQ(bundle->pathsForResourcesOfType_inDirectory("png", ""),
              (std::vector<std::string>{dir / "menu_icon.png", dir / "menu_icon.png.png"}));

    NSBundle::setMainBundlePath("");
    EXPECT_EQ(NSBundle::mainBundle()->bundlePath(), NSBundle::defaultMainBundlePath());
    EXPECT_EQ(NSString::lastPathComponent(NSBundle::defaultMainBundlePath()), "resources");
}

TEST(NSBundleResources, InfoDictionaryPropertyListsAndLocalizedTexts)
{
    TempDir dir;
    const Value info = Value::dictionary({
        {"CFBundleDisplayName", "微视频"},
        {"CFBundleIdentifier", "com.example.video"},
        {"CFBundleShortVersionString", "2.1"},
    });
    ASSERT_TRUE(NSDictionary::writeToFile_atomically(info, dir / "Info.plist", true));
    const Value config = Value::dictionary({
        {"Share", Value::dictionary({{"postQQBtn", Value::dictionary({{"used", true}, {"hidden", false}})}})},
        {"FindFriendVC", Value::dictionary({{"weiboList", Value::array({"a", "b"})}, {"ad", true}})},
        {"count", 3}, {"ratio", 0.5}, {"blob", NSData::dataWithString("\x01\x02")},
    });
    ASSERT_TRUE(PropertyList::writeFile(config, dir / "lumo-OEM-config.plist", PropertyList::Format::XML));
    write(dir / "Localizable.strings",
          "/* comment */\n\"hello\" = \"你好\";\n// line comment\n\"quote\" = \"a \\\"b\\\" \\U4e2d\\n\";\nplain = word;\n");

    auto bundle = NSBundle::bundleWithPath(dir.path());
    ASSERT_NE(bundle, nullptr);
    EXPECT_EQ(bundle->infoDictionary()["CFBundleDisplayName"].stringValue(), "微视频");
    EXPECT_EQ(bundle->objectForInfoDictionaryKey("CFBundleShortVersionString").stringValue(), "2.1");
    EXPECT_EQ(bundle->bundleIdentifier(), "com.example.video");

    const Value read = NSDictionary::dictionaryWithContentsOfFile(bundle->pathForResource_ofType("lumo-OEM-config", "plist"));
    EXPECT_TRUE(read.isEqual(config)) << read.description();
    EXPECT_EQ(read.allKeys(), config.allKeys());  // the file's order
    EXPECT_TRUE(read["Share"]["postQQBtn"]["used"].boolValue());
    EXPECT_FALSE(read["Share"]["postLumoBtn"]["hidden"].boolValue());  // a missing entry reads as off
    EXPECT_TRUE(NSDictionary::dictionaryWithContentsOfFile(dir / "Localizable.strings").isNil());
    EXPECT_TRUE(NSDictionary::dictionaryWithContentsOfFile(dir / "missing.plist").isNil());
    EXPECT_TRUE(NSArray::arrayWithContentsOfFile(dir / "Info.plist").isNil());
    EXPECT_FALSE(PropertyList::toData(Value::dictionary({{"x", Value::null()}})).has_value());

    EXPECT_EQ(bundle->localizedStringForKey_value_table("hello", "", ""), "你好");
    EXPECT_EQ(bundle->localizedStringForKey_value_table("quote", "", ""), "a \"b\" 中\n");
    EXPECT_EQ(bundle->localizedStringForKey_value_table("plain", "", ""), "word");
    EXPECT_EQ(bundle->localizedStringForKey_value_table("absent", "", ""), "absent");
    EXPECT_EQ(bundle->localizedStringForKey_value_table("absent", "fallback", ""), "fallback");
    EXPECT_TRUE(parseStringsFile("\"a\" = \"b\"").isNil());  // missing ';'

    NSBundle::setMainBundlePath(dir.path());
    EXPECT_EQ(NSLocalizedString("hello", "greeting"), "你好");
    EXPECT_EQ(NSLocalizedString("不存在", ""), "不存在");
}

}  // namespace
