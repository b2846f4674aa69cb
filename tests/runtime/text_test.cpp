// Text measurement in GBK bytes, display formats, and the exact value conversions underneath them.

#include "runtime/text/text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "runtime/datawindow/dwdef.h"
#include "runtime/platform/path.h"
#include "runtime/text/value.h"

namespace rt {
namespace {

std::string Repeat(std::string_view s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

// ---------------------------------------------------------------------------------------------
// GBK byte counting and cutting

TEST(GbkLength, CountsChineseAsTwoAndAsciiAsOne) {
    EXPECT_EQ(GbkLength(""), 0u);
    EXPECT_EQ(GbkLength(Repeat("中", 30)), 60u);
    EXPECT_EQ(GbkLength(Repeat("奖", 29) + "ab"), 60u);
    EXPECT_EQ(GbkLength(Repeat("奖", 29) + "abc"), 61u);
    EXPECT_EQ(GbkLength("科技进步奖2025（一等）"), 5u * 2 + 4 + 4 * 2);
    // GBK symbols and Latin letters with tones used in pinyin are two bytes, not their UTF-8 length.
    EXPECT_EQ(GbkLength("é"), 2u);
    EXPECT_EQ(GbkLength("×÷"), 4u);
    EXPECT_EQ(GbkLength("　"), 2u);  // ideographic space
}

TEST(GbkLength, CharactersOutsideGbkCountFourBytes) {
    EXPECT_EQ(GbkLength("😀"), 4u);   // outside the BMP
    EXPECT_EQ(GbkLength("한"), 4u);  // Hangul syllable: BMP but not GBK
    EXPECT_EQ(GbkLength("a😀b"), 6u);
    EXPECT_EQ(GbkLength("\xC2\x80"), 4u);  // U+0080, a C1 control
}

TEST(GbkLength, InvalidUtf8CountsEachBadByteAndDoesNotCrash) {
    EXPECT_EQ(GbkLength("\xFF"), 1u);
    EXPECT_EQ(GbkLength("a\xE4\xB8"), 3u);  // 中 cut short at the end
    EXPECT_EQ(GbkLength("\xE4\xB8"
                        "a"),
              3u);                                 // ... and in the middle
    EXPECT_EQ(GbkLength("\xC0\xAF"), 2u);          // overlong '/'
    EXPECT_EQ(GbkLength("\xED\xA0\x80"), 3u);      // encoded surrogate
    EXPECT_EQ(GbkLength("\xF4\x90\x80\x80"), 4u);  // beyond U+10FFFF
    EXPECT_EQ(GbkLength("\x80\x80中"), 4u);        // stray continuation bytes
    EXPECT_EQ(GbkLength(std::string_view("a\0b", 3)), 3u);
}

TEST(GbkLeft, NeverSplitsACharacter) {
    const std::string text = "中文ab字";
    EXPECT_EQ(GbkLeft(text, 0), "");
    EXPECT_EQ(GbkLeft(text, 1), "");
    EXPECT_EQ(GbkLeft(text, 3), "中");
    EXPECT_EQ(GbkLeft(text, 5), "中文a");
    EXPECT_EQ(GbkLeft(text, 7), "中文ab");
    EXPECT_EQ(GbkLeft(text, 8), text);
    EXPECT_EQ(GbkLeft(text, 1000), text);
    EXPECT_EQ(GbkLeft(Repeat("中", 30) + "x", 59), Repeat("中", 29));
    EXPECT_EQ(GbkLeft("a😀b", 4), "a");
    EXPECT_EQ(GbkLeft("a😀b", 5), "a😀");
}

TEST(GbkLeft, EveryLimitGivesTheLongestFittingPrefix) {
    const std::string samples[] = {"科技a进步😀b한c", "\xFF中\xE4\xB8x", "plain ascii", "é×　"};
    for (const std::string& s : samples) {
        const std::size_t total = GbkLength(s);
        EXPECT_EQ(GbkLeft(s, total), s) << s;
        for (std::size_t limit = 0; limit <= total; ++limit) {
            std::string cut = GbkLeft(s, limit);
            ASSERT_EQ(s.compare(0, cut.size(), cut), 0) << "not a prefix: " << s << " @" << limit;
            EXPECT_LE(GbkLength(cut), limit);
            // A prefix only grows at a limit it exactly fills; otherwise it would have fitted before.
            std::string next = GbkLeft(s, limit + 1);
            if (next != cut) {
                EXPECT_EQ(GbkLength(next), limit + 1) << s << " @" << limit;
            }
        }
    }
}

TEST(GbkConversion, RoundTripsAndRejectsMalformedInput) {
    EXPECT_EQ(Utf8ToGbk("中文A"), std::optional<std::string>("\xD6\xD0\xCE\xC4"
                                                             "A"));
    EXPECT_EQ(GbkToUtf8("\xD6\xD0\xCE\xC4"
                        "A"),
              std::optional<std::string>("中文A"));
    EXPECT_EQ(Utf8ToGbk(""), std::optional<std::string>(""));

    const std::string mixed = "推荐单位：😀 한 é " + Repeat("奖", 5000);
    auto gbk = Utf8ToGbk(mixed);
    ASSERT_TRUE(gbk);
    EXPECT_EQ(gbk->size(), GbkLength(mixed));
    EXPECT_EQ(GbkToUtf8(*gbk), mixed);

    EXPECT_FALSE(Utf8ToGbk("a\xFF"));
    EXPECT_FALSE(Utf8ToGbk("\xE4\xB8"));
    EXPECT_FALSE(GbkToUtf8("\xD6"));  // lead byte without its trail
}

// The program joins paths with "/"; a message shows them as the system writes them.
TEST(ShownPath, HasTheSystemsOwnSeparators) {
    EXPECT_EQ(
        rt::ShownPath("工作/未交付的推荐书/202612340001.docx"),
        rt::PathText(rt::FsPath("工作") / rt::FsPath("未交付的推荐书") / rt::FsPath("202612340001.docx")));
}

// A document is named after the recommendation number a user typed; a user on Windows must be able
// to save and copy it under that name, and a user on Linux to hand it to one.
TEST(PortableFileName, EveryNameWindowsRefusesBecomesOneItTakes) {
    // Names both systems take stay byte for byte (stored files and peers may rely on them).
    for (const char* taken : {"2026 01ab.docx", "推荐书（202612340001）.docx", "a..docx", ".docx",
                              "CONSOLE.txt", "com10.docx", "lpt", "x.con", "_CON", "奖？＊：.docx",
                              "a\x7F"
                              "b"})
        EXPECT_EQ(PortableFileName(taken), taken) << taken;
    // Characters Windows refuses, control characters among them; UTF-8 around them stays whole.
    EXPECT_EQ(PortableFileName("A:B*C?.docx"), "A_B_C_.docx");
    EXPECT_EQ(PortableFileName("中\\文/奖\"项<目>|"), "中_文_奖_项_目__");
    EXPECT_EQ(PortableFileName(std::string("a\0b\x01"
                                           "c\x1F\td\n",
                                           9)),
              "a_b_c__d_");
    // Trailing dots and blanks, which Windows drops; nothing left is "_".
    EXPECT_EQ(PortableFileName("推荐书. ."), "推荐书");
    EXPECT_EQ(PortableFileName(" . "), "_");
    EXPECT_EQ(PortableFileName(""), "_");
    // Device names, in any case, alone, with an extension, with blanks before it, or with a dot
    // that goes.
    for (std::string device : {"CON", "prn", "Aux", "nUl", "CONIN$", "conout$"}) {
        EXPECT_EQ(PortableFileName(device), "_" + device);
        EXPECT_EQ(PortableFileName(device + ".docx"), "_" + device + ".docx");
    }
    for (const char* port : {"COM", "lpt"})
        for (std::string number : {"0", "1", "9", "¹", "²", "³"})
            EXPECT_EQ(PortableFileName(port + number + ".tar.gz"), "_" + (port + number) + ".tar.gz");
    EXPECT_EQ(PortableFileName("CON .txt"), "_CON .txt");
    EXPECT_EQ(PortableFileName("nul."), "_nul");
    EXPECT_EQ(PortableFileName("LPT1:"), "LPT1_");
}

TEST(Trim, RemovesOnlyAsciiBlanks) {
    EXPECT_EQ(Trim("  推荐 单位  "), "推荐 单位");
    EXPECT_EQ(Trim("   "), "");
    EXPECT_EQ(Trim(""), "");
    EXPECT_EQ(Trim("\tx\t"), "\tx\t");
    EXPECT_EQ(Trim("　中　"), "　中　");
    EXPECT_EQ(Trim(" \n x\r\n "), "\n x\r\n");
}

// ---------------------------------------------------------------------------------------------
// Display formats

TEST(DateFormat, PadsYearsAndFollowsThePattern) {
    const Date placeholder{1, 1, 1};
    EXPECT_EQ(String(placeholder, "yyyy-mm"), "0001-01");
    EXPECT_EQ(String(placeholder, "yyyy"), "0001");
    const Date d{2025, 3, 7};
    EXPECT_EQ(String(d, "yyyy-mm-dd"), "2025-03-07");
    EXPECT_EQ(String(d, "yyyy年mm月"), "2025年03月");
    EXPECT_EQ(String(d, "yyyy年m月d日"), "2025年3月7日");
    EXPECT_EQ(String(d, "dd/mm/yy"), "07/03/25");
    EXPECT_EQ(String(d, ""), "2025-03-07");
    EXPECT_EQ(String(d, "[general]"), "2025-03-07");
    EXPECT_EQ(String(d, "\"day\" d"), "day 7");
}

TEST(NumberFormat, GroupedTwoDecimals) {
    EXPECT_EQ(String(*Decimal::Parse("1234567.5"), "#,##0.00"), "1,234,567.50");
    EXPECT_EQ(String(Decimal{}, "#,##0.00"), "0.00");
    EXPECT_EQ(String(*Decimal::Parse("-1234.5"), "#,##0.00"), "-1,234.50");
    EXPECT_EQ(String(*Decimal::Parse("999"), "#,##0.00"), "999.00");
    EXPECT_EQ(String(*Decimal::Parse("1000"), "#,##0.00"), "1,000.00");
    EXPECT_EQ(String(*Decimal::Parse("-0.05"), "#,##0.00"), "-0.05");
    EXPECT_EQ(String(std::int64_t{1234567}, "#,##0.00"), "1,234,567.00");
}

TEST(NumberFormat, OptionalDigitsShowNothingForZero) {
    EXPECT_EQ(String(*Decimal::Parse("1334.5"), "###,###.00"), "1,334.50");
    EXPECT_EQ(String(Decimal{}, "###,###.00"), ".00");
    EXPECT_EQ(String(*Decimal::Parse("0.5"), "###,###.00"), ".50");
    EXPECT_EQ(String(*Decimal::Parse("123456"), "###,###.00"), "123,456.00");
    EXPECT_EQ(String(*Decimal::Parse("1.5"), "0.0#"), "1.5");
    EXPECT_EQ(String(*Decimal::Parse("1.25"), "0.0#"), "1.25");
}

TEST(NumberFormat, RequiredDigitsPad) {
    EXPECT_EQ(String(std::int64_t{7}, "0000"), "0007");
    EXPECT_EQ(String(std::int64_t{12345}, "0000"), "12345");
    EXPECT_EQ(String(std::int64_t{0}, "0"), "0");
    EXPECT_EQ(String(std::int64_t{-7}, "0000"), "-0007");
}

TEST(NumberFormat, RoundsHalfAwayFromZeroExactly) {
    EXPECT_EQ(String(*Decimal::Parse("2.5"), "0"), "3");
    EXPECT_EQ(String(*Decimal::Parse("-2.5"), "0"), "-3");
    EXPECT_EQ(String(*Decimal::Parse("2.49"), "0"), "2");
    EXPECT_EQ(String(*Decimal::Parse("999.95"), "#,##0.0"), "1,000.0");
    EXPECT_EQ(String(*Decimal::Parse("-0.4"), "0"), "0");  // no "-0"
    // Reals are rounded as the number they print as, not their binary neighbour.
    EXPECT_EQ(String(1.005, "0.00"), "1.01");
    EXPECT_EQ(String(2.675, "0.00"), "2.68");
    EXPECT_EQ(String(-1.005, "#,##0.00"), "-1.01");
    EXPECT_EQ(String(0.1 + 0.2, "0.00"), "0.30");
    EXPECT_EQ(String(999999.995, "#,##0.00"), "1,000,000.00");
}

TEST(NumberFormat, HugeValuesKeepEveryDigit) {
    EXPECT_EQ(String(Decimal::FromCents(std::numeric_limits<std::int64_t>::max()), "#,##0.00"),
              "92,233,720,368,547,758.07");
    EXPECT_EQ(String(Decimal::FromCents(std::numeric_limits<std::int64_t>::min()), "#,##0.00"),
              "-92,233,720,368,547,758.08");
    EXPECT_EQ(String(std::numeric_limits<std::int64_t>::min(), "#,##0"), "-9,223,372,036,854,775,808");
    EXPECT_EQ(String(1e20, "#,##0"), "100,000,000,000,000,000,000");
    EXPECT_EQ(String(1e-300, "0.00"), "0.00");
}

TEST(NumberFormat, GeneralShowsPlainDigits) {
    EXPECT_EQ(String(*Decimal::Parse("1234.50"), ""), "1234.5");
    EXPECT_EQ(String(*Decimal::Parse("1234.00"), "[general]"), "1234");
    EXPECT_EQ(String(*Decimal::Parse("-0.05"), "[General]"), "-0.05");
    EXPECT_EQ(String(Decimal{}, ""), "0");
    EXPECT_EQ(String(std::int64_t{2025}, ""), "2025");
    EXPECT_EQ(String(std::int64_t{-3}, "[general]"), "-3");
    EXPECT_EQ(String(0.1, ""), "0.1");
    EXPECT_EQ(String(-0.0, ""), "0");
    EXPECT_EQ(String(-0.0, "0.00"), "0.00");
    // A date pattern given to a number is no number format; the number is not lost.
    EXPECT_EQ(String(std::int64_t{42}, "yyyy-mm"), "42");
}

TEST(NumberFormat, SectionsLiteralsAndPercent) {
    EXPECT_EQ(String(std::int64_t{-5}, "#,##0;(#,##0)"), "(5)");
    EXPECT_EQ(String(std::int64_t{5}, "#,##0;(#,##0)"), "5");
    EXPECT_EQ(String(std::int64_t{0}, "#,##0;(#,##0);\"-\""), "-");
    EXPECT_EQ(String(*Decimal::Parse("1234.5"), "¥#,##0.00元"), "¥1,234.50元");
    EXPECT_EQ(String(*Decimal::Parse("-1234.5"), "¥#,##0.00"), "-¥1,234.50");
    EXPECT_EQ(String(0.125, "0.0%"), "12.5%");
    EXPECT_EQ(String(std::int64_t{3}, "0%"), "300%");
}

TEST(ValueFormat, DispatchesByType) {
    EXPECT_EQ(String(Value(), "#,##0.00"), "");
    EXPECT_EQ(String(Value("0012"), "#,##0.00"), "0012");
    EXPECT_EQ(String(Value(*Decimal::Parse("1234567.5")), "#,##0.00"), "1,234,567.50");
    EXPECT_EQ(String(Value(Date{1, 1, 1}), "yyyy-mm"), "0001-01");
    EXPECT_EQ(String(Value(7), "0000"), "0007");
    EXPECT_EQ(String(Value(1334.5), "###,###.00"), "1,334.50");
}

// ---------------------------------------------------------------------------------------------
// Decimal

std::optional<std::int64_t> Cents(std::string_view s) {
    auto d = Decimal::Parse(s);
    if (!d) return std::nullopt;
    return d->Cents();
}

TEST(DecimalParse, AcceptsTheFormsADatabaseHandsBack) {
    EXPECT_EQ(Cents("1234"), 123400);
    EXPECT_EQ(Cents("1234.5"), 123450);
    EXPECT_EQ(Cents("-0.05"), -5);
    EXPECT_EQ(Cents("+3."), 300);
    EXPECT_EQ(Cents(".5"), 50);
    EXPECT_EQ(Cents("-.5"), -50);
    EXPECT_EQ(Cents("  12.30 "), 1230);
    EXPECT_EQ(Cents("-0"), 0);
    EXPECT_EQ(Cents("000000000000000000000000012"), 1200);
    EXPECT_EQ(Cents("1.5e3"), 150000);
    EXPECT_EQ(Cents("1e+06"), 100000000);
    EXPECT_EQ(Cents("1.2345E2"), 12345);
    EXPECT_EQ(Cents("12345e-2"), 12345);
    EXPECT_EQ(Cents("0e999999999999"), 0);
    EXPECT_EQ(Cents("1e-999999999999"), 0);
}

TEST(DecimalParse, RoundsBeyondTwoDecimalsHalfAwayFromZero) {
    EXPECT_EQ(Cents("0.005"), 1);
    EXPECT_EQ(Cents("-0.005"), -1);
    EXPECT_EQ(Cents("0.0049999"), 0);
    EXPECT_EQ(Cents("1.235"), 124);
    EXPECT_EQ(Cents("9.995"), 1000);
    EXPECT_EQ(Cents("5e-3"), 1);
    EXPECT_EQ(Cents("4e-3"), 0);
    EXPECT_EQ(Cents("0.5e-2"), 1);
}

TEST(DecimalParse, RejectsGarbageAndOverflow) {
    for (const char* bad : {"",    " ",     "-",   "+",   ".",   "-.",   "e5",  "1e", "1e+", "1.2.3", "1,000",
                            "abc", "12abc", "1 2", "inf", "nan", "0x10", "--1", "1-", "¥12", "１２"}) {
        EXPECT_FALSE(Decimal::Parse(bad)) << bad;
    }
    EXPECT_EQ(Cents("92233720368547758.07"), std::numeric_limits<std::int64_t>::max());
    EXPECT_FALSE(Decimal::Parse("92233720368547758.08"));
    EXPECT_FALSE(Decimal::Parse("92233720368547758.075"));  // rounds past the limit
    EXPECT_FALSE(Decimal::Parse("1e30"));
    EXPECT_FALSE(Decimal::Parse("1e999999999999"));
    EXPECT_FALSE(Decimal::Parse("-99999999999999999999"));
}

TEST(DecimalParse, CentsAndTextAgree) {
    EXPECT_EQ(Decimal::FromCents(123450).ToString(), "1234.50");
    EXPECT_EQ(Decimal::FromCents(-5).ToString(), "-0.05");
    EXPECT_EQ(Decimal{}.ToString(), "0.00");
    EXPECT_EQ(Decimal::FromCents(std::numeric_limits<std::int64_t>::min()).ToString(),
              "-92233720368547758.08");
    for (std::int64_t c : {std::int64_t{0}, std::int64_t{-1}, std::int64_t{99}, std::int64_t{-100},
                           std::int64_t{123456789012345}, std::numeric_limits<std::int64_t>::max()}) {
        EXPECT_EQ(Cents(Decimal::FromCents(c).ToString()), c);
    }
}

TEST(DecimalArithmetic, IsExactAndNeverWrapsAround) {
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    EXPECT_EQ(Decimal::Add(*Decimal::Parse("0.10"), *Decimal::Parse("0.20")), Decimal::FromCents(30));
    EXPECT_EQ(Decimal::Add(Decimal::FromCents(kMax - 1), Decimal::FromCents(1)), Decimal::FromCents(kMax));
    EXPECT_FALSE(Decimal::Add(Decimal::FromCents(kMax), Decimal::FromCents(1)));
    EXPECT_FALSE(Decimal::Add(Decimal::FromCents(kMin), Decimal::FromCents(-1)));
}

// ---------------------------------------------------------------------------------------------
// Date

TEST(DateParse, AcceptsCalendarDatesOnly) {
    EXPECT_EQ(Date::Parse("0001-01-01"), (Date{1, 1, 1}));
    EXPECT_EQ(Date::Parse("9999-12-31"), (Date{9999, 12, 31}));
    EXPECT_EQ(Date::Parse("2024-02-29"), (Date{2024, 2, 29}));
    EXPECT_EQ(Date::Parse("2000-02-29"), (Date{2000, 2, 29}));
    for (const char* bad :
         {"0000-01-01", "2021-02-30", "2023-02-29", "1900-02-29", "2021-04-31", "2021-13-01", "2021-00-10",
          "2021-01-00", "2021-5-1", "2021/05/01", "20210501", "", "2021-05-0a", "2021-05-01x",
          "2021-05-01 garbage", "2021-05-01 25:00:00", "-001-01-01"}) {
        EXPECT_FALSE(Date::Parse(bad)) << bad;
    }
}

TEST(DateParse, IgnoresATimePart) {
    EXPECT_EQ(Date::Parse("2021-05-01 00:00:00"), (Date{2021, 5, 1}));
    EXPECT_EQ(Date::Parse("2021-05-01 13:45"), (Date{2021, 5, 1}));
    EXPECT_EQ(Date::Parse("2021-05-01T12:30:00.000"), (Date{2021, 5, 1}));
    EXPECT_EQ(Date::Parse("2021-05-01T12:30:00Z"), (Date{2021, 5, 1}));
    EXPECT_EQ(Date::Parse("2021-05-01T12:30:00+08:00"), (Date{2021, 5, 1}));
    EXPECT_EQ(Date::Parse(" 2021-05-01 "), (Date{2021, 5, 1}));
}

TEST(DateParse, IsoAndTodayAreWellFormed) {
    EXPECT_EQ((Date{1, 1, 1}).Iso(), "0001-01-01");
    EXPECT_EQ((Date{2025, 12, 3}).Iso(), "2025-12-03");
    Date today = Date::Today();
    EXPECT_TRUE(today.Valid());
    EXPECT_GE(today.year, 2024);
    EXPECT_EQ(Date::Parse(today.Iso()), today);
}

// ---------------------------------------------------------------------------------------------
// Value conversions

TEST(ValueConversion, NumbersIntoTextKeepTheirDigits) {
    EXPECT_EQ(Value(1).AsString(), "1");
    EXPECT_EQ(Value(2025).AsString(), "2025");
    EXPECT_EQ(Value(std::int64_t{-40}).AsString(), "-40");
    EXPECT_EQ(Value(Decimal::FromCents(123450)).AsString(), "1234.50");
    EXPECT_EQ(Value(Date{1, 1, 1}).AsString(), "0001-01-01");
    EXPECT_EQ(Value(0.1).AsString(), "0.1");
    EXPECT_EQ(Value(3.0).AsString(), "3");
    EXPECT_EQ(Value().AsString(), std::nullopt);
    EXPECT_EQ(Value().ToText(), "");
    EXPECT_EQ(Value(2025).ToText(), "2025");
}

TEST(ValueConversion, TextIntoNumbersMustBeANumber) {
    EXPECT_EQ(Value("2025").AsLong(), 2025);
    EXPECT_EQ(Value(" -7 ").AsLong(), -7);
    EXPECT_EQ(Value("2025.00").AsLong(), 2025);
    EXPECT_EQ(Value("abc").AsLong(), std::nullopt);
    EXPECT_EQ(Value("").AsLong(), std::nullopt);
    EXPECT_EQ(Value("12.5").AsLong(), std::nullopt);
    EXPECT_EQ(Value("12abc").AsLong(), std::nullopt);
    EXPECT_EQ(Value("9223372036854775807").AsLong(), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(Value("-9223372036854775808").AsLong(), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(Value("9223372036854775808").AsLong(), std::nullopt);

    EXPECT_EQ(Value("1234.5").AsDecimal(), Decimal::FromCents(123450));
    EXPECT_EQ(Value("abc").AsDecimal(), std::nullopt);
    EXPECT_EQ(Value("1.5").AsReal(), 1.5);
    EXPECT_EQ(Value("+.5").AsReal(), 0.5);
    for (const char* bad : {"abc", "", "inf", "nan", "1e400", "0x1p3", "1.5x"}) {
        EXPECT_EQ(Value(bad).AsReal(), std::nullopt) << bad;
    }
}

TEST(ValueConversion, BetweenNumberTypes) {
    EXPECT_EQ(Value(0.1 + 0.2).AsDecimal(), Decimal::FromCents(30));
    EXPECT_EQ(Value(std::numeric_limits<double>::infinity()).AsDecimal(), std::nullopt);
    EXPECT_EQ(Value(1e30).AsDecimal(), std::nullopt);
    EXPECT_EQ(Value(std::int64_t{12}).AsDecimal(), Decimal::FromCents(1200));
    EXPECT_EQ(Value(std::numeric_limits<std::int64_t>::max()).AsDecimal(), std::nullopt);
    EXPECT_EQ(Value(2.5).AsLong(), 3);
    EXPECT_EQ(Value(-2.5).AsLong(), -3);
    EXPECT_EQ(Value(1e30).AsLong(), std::nullopt);
    EXPECT_EQ(Value(9223372036854775808.0).AsLong(), std::nullopt);
    EXPECT_EQ(Value(Decimal::FromCents(250)).AsLong(), 3);
    EXPECT_EQ(Value(Decimal::FromCents(-249)).AsLong(), -2);
    EXPECT_EQ(Value(Decimal::FromCents(-250)).AsLong(), -3);
    EXPECT_EQ(Value(Decimal::FromCents(150)).AsReal(), 1.5);
    EXPECT_EQ(Value(Date{2021, 5, 1}).AsLong(), std::nullopt);
    EXPECT_EQ(Value(Date{2021, 5, 1}).AsDecimal(), std::nullopt);
}

TEST(ValueConversion, Dates) {
    EXPECT_EQ(Value("2021-05-01").AsDate(), (Date{2021, 5, 1}));
    EXPECT_EQ(Value("2021-05-01 00:00:00").AsDate(), (Date{2021, 5, 1}));
    EXPECT_EQ(Value("2021-02-30").AsDate(), std::nullopt);
    EXPECT_EQ(Value(Date{2021, 2, 30}).AsDate(), std::nullopt);
    EXPECT_EQ(Value(20210501).AsDate(), std::nullopt);
    EXPECT_EQ(Value().AsDate(), std::nullopt);
}

TEST(ValueConversion, EqualityIsByTypeAndValue) {
    EXPECT_EQ(Value(), Value::Null());
    EXPECT_NE(Value(1), Value("1"));
    EXPECT_NE(Value(1), Value(1.0));
    EXPECT_EQ(Value(std::optional<int>()), Value());
    EXPECT_EQ(Value(std::optional<int>(4)), Value(4));
}

// ---------------------------------------------------------------------------------------------
// Definition lookups

TEST(Definitions, NamesMatchWithoutCaseAndLaterRegistrationReplaces) {
    EXPECT_TRUE(SameName("RY_NAME", "ry_name"));
    EXPECT_FALSE(SameName("ry_name", "ry_nam"));
    EXPECT_FALSE(SameName("中", "中 "));

    DataWindowDef def;
    def.name = "dw_TextTest";
    for (const char* name : {"xm_id", "yy_id"}) {
        ColumnDef column;
        column.name = name;
        def.columns.push_back(column);
    }
    ComputeDef compute;
    compute.name = "compute_1";
    def.computes.push_back(compute);
    EXPECT_EQ(def.ColumnNumber("YY_ID"), 2);
    EXPECT_EQ(def.ColumnNumber("nope"), 0);
    ASSERT_NE(def.Column("Xm_Id"), nullptr);
    EXPECT_EQ(def.Column("Xm_Id")->name, "xm_id");
    EXPECT_NE(def.Compute("COMPUTE_1"), nullptr);
    EXPECT_EQ(def.Compute("compute_2"), nullptr);

    RegisterDefinition(def);
    const DataWindowDef* found = FindDefinition("DW_TEXTTEST");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->columns.size(), 2u);

    def.columns.pop_back();
    RegisterDefinition(def);
    found = FindDefinition("dw_texttest");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->columns.size(), 1u);
    EXPECT_EQ(FindDefinition("dw_nowhere"), nullptr);
}

}  // namespace
}  // namespace rt
