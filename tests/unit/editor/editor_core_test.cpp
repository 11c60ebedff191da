// The editor's rules: recent files, stored window settings, save's lines, the forward search, titles.
#include "editor_core.h"

#include <gtest/gtest.h>

namespace dkedit {
namespace {

std::vector<std::string> numbered(int count) {
    std::vector<std::string> v;
    for (int i = 1; i <= count; ++i) v.push_back("C:\\f" + std::to_string(i) + ".sdf");
    return v;
}

TEST(EditorRecentFiles, MatchesMoveToTopAndTheEleventhPushesTheOldestOut) {
    using V = std::vector<std::string>;
    EXPECT_EQ(add_recent({}, "C:\\a.sdf"), V{"C:\\a.sdf"});
    // A path opened again moves to the top without a duplicate, whatever its case.
    EXPECT_EQ(add_recent({"C:\\b.sdf", "c:\\A.SDF", "C:\\c.sdf"}, "C:\\a.sdf"),
              (V{"C:\\a.sdf", "C:\\b.sdf", "C:\\c.sdf"}));
    // Substring match: the longer entry is replaced by the path; the last match wins.
    EXPECT_EQ(add_recent({"C:\\a.sdf.bak", "C:\\x.ini", "D:\\a.sdf.old"}, "a.sdf"),
              (V{"a.sdf", "C:\\a.sdf.bak", "C:\\x.ini"}));
    V full = numbered(10);
    V after = add_recent(full, "C:\\new.sdf");
    ASSERT_EQ(after.size(), 10u);
    EXPECT_EQ(after.front(), "C:\\new.sdf");
    EXPECT_EQ(after.back(), "C:\\f9.sdf");
    EXPECT_EQ(add_recent(full, "C:\\f10.sdf").front(), "C:\\f10.sdf");
    EXPECT_EQ(add_recent(full, "C:\\f10.sdf").size(), 10u);
    EXPECT_EQ(recent_item_text(1, "C:\\a.sdf"), "&1) C:\\a.sdf");
    EXPECT_EQ(recent_item_text(9, "x"), "&9) x");
    EXPECT_EQ(recent_item_text(10, "x"), "&0) x");
}

TEST(EditorWindowSettings, ClientValuesBecomeOuterValuesWithTheFourThousandRule) {
    StoredSettings s = stored_settings({false, 54, 57, 632, 409});
    EXPECT_TRUE(s.has_position);
    EXPECT_EQ(s.maximized, 0u);
    EXPECT_EQ(s.x, 50u);
    EXPECT_EQ(s.y, 15u);
    EXPECT_EQ(s.width, 640u);
    EXPECT_EQ(s.height, 455u);
    EXPECT_EQ(stored_settings({false, 4004, 4042, 1, 1}).x, 4000u);
    EXPECT_EQ(stored_settings({false, 4005, 4043, 1, 1}).x, 0u);
    EXPECT_EQ(stored_settings({false, 4005, 4043, 1, 1}).y, 0u);
    EXPECT_EQ(stored_settings({false, 2, 10, 1, 1}).x, 0u);  // off the left edge
    StoredSettings max = stored_settings({true, 54, 57, 632, 409});
    EXPECT_EQ(max.maximized, 1u);
    EXPECT_FALSE(max.has_position);
}

TEST(EditorSave, LinesAreKeptWholeWithCrLfBetweenThem) {
    const std::string long_line(3000, 'x');
    for (const std::string& text : {std::string(""), std::string("a\r\nb"), std::string("a\r\nb\r\n"),
                                    "one\r\n" + long_line + "\r\n\r\nlast", std::string("lone\rcr\nlf")}) {
        EXPECT_EQ(save_text(split_lines(text)), text);
    }
    EXPECT_EQ(split_lines("a\r\n").size(), 2u);
    EXPECT_EQ(split_lines("x\r\n" + long_line)[1].size(), 3000u);
}

TEST(EditorSearch, ForwardSearchWrapsAndSearchesTheStartLineTwice) {
    const std::string text = "alpha Beta\r\ngamma\r\nbeta end";
    // From the start: the first line, without regard to case unless asked.
    auto m = find_forward(text, 0, "beta", false, true);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->start, 6u);
    EXPECT_EQ(find_forward(text, 0, "beta", true, true)->start, 19u);
    // From the end of the last line the search wraps to the top.
    EXPECT_EQ(find_forward(text, text.size(), "alpha", false, true)->start, 0u);
    // Without wrapping (Replace All) it fails there instead.
    EXPECT_FALSE(find_forward(text, text.size(), "alpha", false, false));
    // Back at the start line, the part before the start is searched too.
    EXPECT_EQ(find_forward("xx target yy", 5, "target", false, true)->start, 3u);
    EXPECT_FALSE(find_forward("xx target yy", 5, "target", false, false));
    // A match never spans two lines.
    EXPECT_FALSE(find_forward("ab\r\ncd", 0, "b\r\nc", false, true));
    EXPECT_FALSE(find_forward("ab\r\ncd", 0, "bc", false, true));
    // Whole lines: a match far along a long line is found.
    const std::string long_text = "start\r\n" + std::string(2000, '-') + "needle";
    EXPECT_EQ(find_forward(long_text, 0, "needle", false, true)->start, 2007u);
    EXPECT_FALSE(find_forward("abc", 0, "", false, true));
    EXPECT_TRUE(same_text("AbC", "abc", false));
    EXPECT_FALSE(same_text("AbC", "abc", true));
}

TEST(EditorDocument, TitlesOpenRequestsAndTheDefaultExtension) {
    EXPECT_EQ(document_title(""), "DkEdit - New File");
    EXPECT_EQ(document_title("C:\\a.sdf"), "DkEdit - C:\\a.sdf");
    EXPECT_EQ(modified_title("DkEdit - C:\\a.sdf", "C:\\a.sdf"), "DkEdit - C:\\a.sdf*");
    EXPECT_EQ(modified_title("DkEdit - C:\\a.sdf*", "C:\\a.sdf"), "DkEdit - C:\\a.sdf*");
    EXPECT_EQ(modified_title("DkEdit - New File", ""), "DkEdit - New File");
    EXPECT_EQ(path_from_open_text("&1) C:\\my dir\\a.sdf"), "C:\\my dir\\a.sdf");
    EXPECT_EQ(path_from_open_text("&1) \"C:\\a b.sdf\""), "C:\\a b.sdf");
    EXPECT_EQ(path_from_open_text("&0) 'C:\\x.sdf"), "C:\\x.sdf");
    EXPECT_EQ(path_from_open_text(""), "");
    EXPECT_EQ(with_default_extension("C:\\john.doe\\script"), "C:\\john.doe\\script.SDF");
    EXPECT_EQ(with_default_extension("C:\\dir\\audit.ini"), "C:\\dir\\audit.ini");
    EXPECT_EQ(with_default_extension("C:\\dir\\a.b.c"), "C:\\dir\\a.b.c");
}

}  // namespace
}  // namespace dkedit
