// The list format language: the client's four formats and the documented examples parse to
// the expected columns and queue fields, write back where units round-trip, and invalid
// strings fail at the right 1-based position and leave the previous columns alone.
#include <string>

#include "runtime/controls/list_format.h"
#include "support/check.h"

using namespace vel::listfmt;

namespace {

const XScale kUnit{1, 1};        // pixels
const XScale kDialog{16, 8};     // dialog units with an 8-pixel average character width
const XScale kLossy{13, 8};      // 80 * 13 / 8 = 130 -> 130 * 8 / 13 = 80, but 1 -> 1 -> 0

Format MustParse(const std::string& s, const XScale& x = kUnit) {
  Format f;
  CHECK_EQ(Validate(s), std::size_t{0});
  CHECK(Parse(s, x, &f));
  return f;
}

}  // namespace

// --- 1. parsing the client's formats -------------------------------------------------------

TEST_CASE("parse: drive list 4L(3)I@s1@? has one column, data field 1, icon field 2") {
  const Format f = MustParse("4L(3)I@s1@?", kDialog);
  REQUIRE(f.columns.size() == 1u);
  const Column& c = f.columns[0];
  CHECK_EQ(c.width, 8);            // 4 * 16 / 8
  CHECK_EQ(c.data_indent, 6);      // 3 * 16 / 8
  CHECK_EQ(c.Justification(), 0);
  CHECK(c.HasIcon());
  CHECK(c.flags1 & kLocator);
  CHECK_EQ(c.picture, std::string("@s1"));
  CHECK_EQ(c.field, 1);
  CHECK_EQ(c.IconField(), 2);
  CHECK_EQ(c.TreeField(), 0);
  CHECK_EQ(c.left, 0);
  CHECK_EQ(c.right, 7);
}

TEST_CASE("parse: remote tree F1 feeds name, icon, level, then size from field 4") {
  const Format f = MustParse("120L(1)|MIT(B)~Name~@s255@80L(1)|M~File Size~@s20@");
  REQUIRE(f.columns.size() == 2u);
  const Column& a = f.columns[0];
  CHECK_EQ(a.field, 1);
  CHECK_EQ(a.IconField(), 2);
  CHECK_EQ(a.TreeField(), 3);
  CHECK(a.flags1 & kRightBorder);
  CHECK(a.flags1 & kResizable);
  CHECK(a.HasTree());
  CHECK(a.flags2 & kTreeB);
  CHECK(!(a.flags2 & kTreeL));
  CHECK_EQ(a.header, std::string("Name"));
  CHECK_EQ(a.header_lines, 1);
  CHECK_EQ(a.picture, std::string("@s255"));
  const Column& b = f.columns[1];
  CHECK_EQ(b.field, 4);
  CHECK_EQ(b.header, std::string("File Size"));
  CHECK_EQ(b.left, 120);
  CHECK_EQ(b.right, 199);
}

TEST_CASE("parse: local tree F2 and file list F3") {
  const Format f2 = MustParse("126L(2)IT@s126@");
  REQUIRE(f2.columns.size() == 1u);
  CHECK_EQ(f2.columns[0].IconField(), 2);
  CHECK_EQ(f2.columns[0].TreeField(), 3);
  CHECK_EQ(f2.columns[0].FieldsUsed(), 3);
  const Format f3 = MustParse("1020L(1)~File Name~@s255@");
  REQUIRE(f3.columns.size() == 1u);
  CHECK_EQ(f3.columns[0].field, 1);
  CHECK_EQ(f3.columns[0].FieldsUsed(), 1);
  CHECK(!f3.columns[0].HasIcon());
}

TEST_CASE("parse: queue fields in order data, colours, icon, tree, style, tip; # resets") {
  const Format f = MustParse("10L*IYPT@s5@10R#12#@n3@10C@s1@");
  REQUIRE(f.columns.size() == 3u);
  const Column& a = f.columns[0];
  CHECK_EQ(a.field, 1);
  CHECK_EQ(a.ColorField(), 2);
  CHECK_EQ(a.IconField(), 6);
  CHECK_EQ(a.TreeField(), 7);
  CHECK_EQ(a.StyleField(), 8);
  CHECK_EQ(a.TipField(), 9);
  CHECK_EQ(f.columns[1].field, 12);
  CHECK(f.columns[1].explicit_field);
  CHECK_EQ(f.columns[2].field, 13);
}

TEST_CASE("parse: width 0 gives an empty column that still consumes its fields") {
  const Format f = MustParse("0LI@s1@20L@s5@");
  REQUIRE(f.columns.size() == 2u);
  CHECK_EQ(f.columns[0].right, f.columns[0].left - 1);
  CHECK_EQ(f.columns[1].field, 3);
  CHECK_EQ(f.columns[1].left, 0);
}

TEST_CASE("parse: headers, header justification and indent, line count") {
  const Format f = MustParse("50L(2)~A\nB\nC~R(7)@s5@");
  REQUIRE(f.columns.size() == 1u);
  CHECK_EQ(f.columns[0].header_lines, 3);
  CHECK_EQ(f.columns[0].HeaderJustification(), 1);
  CHECK_EQ(f.columns[0].Justification(), 0);
  CHECK_EQ(f.columns[0].header_indent, 7);
  CHECK_EQ(f.columns[0].data_indent, 2);
}

TEST_CASE("parse: items in either case; E, Z, Q, S, H, J and the second picture") {
  const Format f = MustParse("30Le(1,-2,3)z(4)q'it''s'S(50)H(2)j@s3@@n9@/");
  REQUIRE(f.columns.size() == 1u);
  const Column& c = f.columns[0];
  CHECK_EQ(c.color_count, 3);
  CHECK_EQ(c.colors[1], -2);
  CHECK(c.has_z);
  CHECK_EQ(c.z, 4);
  CHECK_EQ(c.tip, std::string("it's"));
  CHECK(c.flags1 & kScroll);
  CHECK_EQ(c.scroll_width, 50);
  CHECK(c.flags2 & kHItem);
  CHECK(c.flags2 & kTransparentIcon);
  CHECK(c.HasIcon());
  CHECK_EQ(c.picture, std::string("@s3"));  // the second picture is skipped
  CHECK(c.flags1 & kLineBreak);
}

TEST_CASE("parse: T(LB) sets the options L and B") {
  const Format f = MustParse("20LT(LB)@s5@");
  CHECK(f.columns[0].flags2 & kTreeL);
  CHECK(f.columns[0].flags2 & kTreeB);
  CHECK(!(f.columns[0].flags2 & kTreeR));
}

TEST_CASE("parse: groups hold their columns and modifiers") {
  const Format f = MustParse("[10L@s1@20R@n3@](4)|~Grp~C10L@s2@");
  REQUIRE(f.columns.size() == 3u);
  REQUIRE(f.groups.size() == 1u);
  CHECK_EQ(f.groups[0].first, 0);
  CHECK_EQ(f.groups[0].count, 2);
  CHECK_EQ(f.groups[0].indent, 4);
  CHECK_EQ(f.groups[0].header, std::string("Grp"));
  CHECK(f.groups[0].flags1 & kRightBorder);
  CHECK_EQ(f.columns[1].group, 0);
  CHECK_EQ(f.columns[2].group, -1);
  CHECK_EQ(f.columns[2].field, 3);
}

// --- 2. writing back -------------------------------------------------------------------------

TEST_CASE("write: the client's formats and examples round-trip where units do") {
  const char* texts[] = {
      "120L(1)|MIT(B)~Name~@s255@80L(1)|M~File Size~@s20@",
      "126L(2)IT@s126@",
      "1020L(1)~File Name~@s255@",
      "4L(3)I@s1@?",
      "80L(1)|M~File Size~@s20@",
      "10L*JYPT(L1RBI)~H~R(3)S(40)H(2)@s4@Z(1)Q'a''b'E(1,2,3,4)/?",
      "[10L@s1@20R@n3@](4)|~Grp~C10L@s2@",
      "10L@s1@10R@n3@#7#",
  };
  for (const char* t : texts) {
    Format f;
    REQUIRE(Parse(t, kUnit, &f));
    CHECK_EQ(Write(f, kUnit), std::string(t));
    Format g;
    REQUIRE(Parse(t, kDialog, &g));  // 16/8 round-trips every integer
    CHECK_EQ(Write(g, kDialog), std::string(t));
  }
}

TEST_CASE("write: unchanged values read back as written; changed ones are converted") {
  Format f;
  REQUIRE(Parse("80L(1)|M~File Size~@s20@", kLossy, &f));
  CHECK_EQ(f.columns[0].width, 130);
  CHECK_EQ(f.columns[0].data_indent, 1);             // 13 / 8: 1 -> 1 -> 0 would lose it
  CHECK_EQ(Write(f, kLossy), std::string("80L(1)|M~File Size~@s20@"));
  f.columns[0].width = 260;                          // resized by the user: 260 * 8 / 13
  f.columns[0].data_indent = 13;                     // 13 * 8 / 13
  f.columns[0].header_indent = 13;
  CHECK_EQ(Write(f, kLossy), std::string("160L(8)|M~File Size~@s20@"));
}

// --- 3. validation -----------------------------------------------------------------------------

TEST_CASE("validate: failure positions are 1-based at the offending character") {
  struct Case {
    const char* text;
    std::size_t at;
  } cases[] = {
      {"", 0},
      {"10L", 0},
      {"10", 3},                  // missing justification at the end
      {"10x@s1@", 3},             // lower-case / unknown justification
      {"10l@s1@", 3},
      {"10LZ(1)Z(2)", 8},         // the second Z
      {"10LE(1)E(2)", 8},
      {"10LQ'a'Q'b'", 8},
      {"10L(3", 6},               // unclosed "("
      {"10L@s12", 8},             // unterminated picture
      {"10L#3", 6},               // unterminated "#"
      {"10L#x#", 5},
      {"[]", 2},                  // empty group
      {"[10L", 5},                // unclosed group
      {"[10L[5L]]", 5},
      {"10L]", 4},                // "]" with no open group
      {"10LT(Lb)", 7},            // lower case inside the tree options
      {"10LT(L", 7},
      {"10L~abc", 8},             // unterminated header
      {"10LE(1,2,3,4,5)", 14},    // more than four colours
      {"10L@s1@ 20L", 8},         // a character that starts nothing
      {"10LH", 5},                // H needs a number in parentheses
      {"x", 1},
  };
  for (const Case& c : cases) {
    const std::size_t got = Validate(c.text);
    if (got != c.at) check::Fail(__FILE__, __LINE__, std::string("\"") + c.text + "\" -> " + std::to_string(got));
  }
}

TEST_CASE("validate: an invalid string is not parsed and keeps the previous columns") {
  Format f = MustParse("10L@s1@20L@s2@");
  CHECK(!Parse("10LZ(1)Z(2)", kUnit, &f));
  CHECK_EQ(f.columns.size(), std::size_t{2});
  Format empty;
  CHECK(!Parse("[]", kUnit, &empty));
  CHECK(empty.columns.empty());
}

TEST_CASE("validate: huge numbers saturate, zero scale gives zero, embedded NULs fail") {
  Format f;
  REQUIRE(Parse("99999999999999999999L(99999999999999)@s1@", kDialog, &f));
  CHECK(f.columns[0].width > 0);
  Format g;
  REQUIRE(Parse("10L@s1@", XScale{0, 0}, &g));
  CHECK_EQ(g.columns[0].width, 0);
  CHECK_EQ(Write(g, XScale{0, 0}), std::string("10L@s1@"));
  const char nul[] = {'1', '0', 'L', '\0', '5', 'L'};
  CHECK_EQ(Validate(nul, sizeof nul), std::size_t{4});
  CHECK_EQ(Validate(nullptr, 5), std::size_t{0});
}
