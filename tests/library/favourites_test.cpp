// The favourites document: loading, filtering, committing, drag and drop, deletion,
// collapsing, import and the data-safety rules for unreadable files.

#include "library/favourites_actions.h"
#include "library_fixture.h"

#include <QFileInfo>
#include <QStringDecoder>
#include <QStringEncoder>

using namespace tl;
using namespace tl::test;

namespace {

const QByteArray kThreeGroups =
    root({group("A", 0, {"a1", "a2"}), group("B", 0, {"b1"}), group("C", 0, {"c1", "c2"})});

class LoadTest : public FavouritesFixture {};

TEST_F(LoadTest, CollapsedGroupsCountAllStationsButListNone) {
    load(root({group("Rock", 1, {"r1", "r2", "r3"}), group("News", 0, {"n1", "n2"}),
               group("Empty", 0, {})}));
    ASSERT_TRUE(last.ok) << last.error.toStdString();
    EXPECT_EQ(rows(), "G:Rock(3) G:News(2) S:n1 S:n2 G:Empty(0)");
    EXPECT_EQ(last.statusText, "5 stations");
    const TStation& n2 = favs->stations()[3];
    EXPECT_EQ(n2.GroupIndex, 1);
    EXPECT_EQ(n2.StationIndex, 1);
    EXPECT_EQ(n2.Url, "http://x/n2");
    EXPECT_EQ(n2.Info, "info n2");
    EXPECT_EQ(n2.Bitrate, "128");
    EXPECT_EQ(favs->stations()[0].Rolled, 1);
}

TEST_F(LoadTest, EmptyRootGivesNoRows) {
    load("<stations/>");
    EXPECT_TRUE(last.ok);
    EXPECT_EQ(favs->rowCount(), 0);
    EXPECT_EQ(last.statusText, "0 stations");
}

TEST_F(LoadTest, GroupColours) {
    struct Row {
        const char* attribute;
        uint32_t color;
    };
    const Row table[] = {{"", kDefaultGroupColor},
                         {"Color=\"255\"", 255},
                         {"Color=\"$666666\"", 0x666666},
                         {"Color=\"16711680\"", 16711680},
                         {"Color=\" 42 \"", 42}};
    for (const Row& row : table) {
        load(root({group("G", 0, {}, row.attribute)}));
        ASSERT_TRUE(last.ok) << row.attribute << ": " << last.error.toStdString();
        EXPECT_EQ(favs->stations()[0].Color, row.color) << row.attribute;
    }
}

TEST_F(LoadTest, VideoOnlyForExactlyOne) {
    for (const auto& [text, video] : {std::pair{"1", true}, std::pair{"true", false},
                                      std::pair{"01", false}, std::pair{"", false}}) {
        load(QByteArray("<r><group Name=\"G\" rolled=\"0\"><station><Name>s</Name><Video>") + text +
             "</Video></station></group></r>");
        ASSERT_EQ(favs->rowCount(), 2);
        EXPECT_EQ(favs->stations()[1].Video, video) << text;
    }
}

TEST_F(LoadTest, BadGroupStopsTheLoadKeepingEarlierRows) {
    struct Row {
        const char* badGroup;
        const char* expectInError;
    };
    const Row table[] = {
        {"<group rolled=\"0\"><station><Name>z</Name></station></group>", "Name"},
        {"<group Name=\"Bad\"/>", "rolled"},
        {"<group Name=\"Bad\" rolled=\"yes\"/>", "yes"},
        {"<group Name=\"Bad\" rolled=\"0\" Color=\"red\"/>", "red"},
        {"<group Name=\"Bad\" rolled=\"0\" Color=\"$GG\"/>", "$GG"},
    };
    for (const Row& row : table) {
        load(root({group("A", 0, {"a1"}), QByteArray(row.badGroup), group("C", 0, {"c1"})}));
        EXPECT_FALSE(last.ok) << row.badGroup;
        EXPECT_TRUE(last.error.contains(QString::fromLatin1(row.expectInError)))
            << last.error.toStdString();
        EXPECT_TRUE(last.statusText.isEmpty()) << "the status line keeps its text";
        EXPECT_EQ(rows(), "G:A(1) S:a1") << row.badGroup;
    }
}

QByteArray encoded(QStringConverter::Encoding encoding, const QString& text) {
    QStringEncoder encoder(encoding, QStringConverter::Flag::WriteBom);
    return encoder.encode(text);
}

// The same text without a byte order mark.
QByteArray bare(QStringConverter::Encoding encoding, const QByteArray& utf8) {
    QStringEncoder encoder(encoding);
    return encoder.encode(QString::fromUtf8(utf8));
}

TEST_F(LoadTest, UnusableFilesGiveAMessageAndNoRows) {
    const QByteArray truncated = kThreeGroups.left(kThreeGroups.size() / 2);
    const QString truncatedText = QString::fromUtf8(truncated);
    for (const QByteArray& content :
         {truncated, QByteArray("this is not XML"), QByteArray(),
          encoded(QStringConverter::Utf16LE, truncatedText),
          encoded(QStringConverter::Utf16BE, truncatedText),
          QByteArray("<?xml version=\"1.0\" encoding=\"x-no-such-codec\"?>") + kThreeGroups,
          QByteArray("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><r Name=\"\x81\"/>")}) {
        load(content);
        EXPECT_FALSE(last.ok) << content.left(60).toHex().toStdString();
        EXPECT_FALSE(last.error.isEmpty());
        EXPECT_EQ(favs->rowCount(), 0);
        EXPECT_TRUE(favs->loadFailed());
    }
    FavouritesDocument missing(dir.filePath(QStringLiteral("none.xml")));
    const LoadResult r = missing.LoadFavs({});
    EXPECT_TRUE(r.ok) << "a first run has no favourites yet: no message";
    EXPECT_TRUE(r.error.isEmpty());
    EXPECT_EQ(missing.rowCount(), 0);
    EXPECT_FALSE(missing.loadFailed()) << "nothing on disk to keep";
}

TEST_F(LoadTest, FilterOpensEveryGroupAndKeepsFullCounts) {
    const QByteArray content =
        root({group("Rock", 1, {"Rockola", "Jazzy"}), group("News", 0, {"BBC"}),
              QByteArray("<group Name=\"Talk\" rolled=\"0\"><station><Name>Talk</Name>"
                         "<Info>EUROPE</Info></station><station><Name></Name></station></group>")});
    struct Row {
        const char* filter;
        const char* rows;
    };
    const Row table[] = {
        {"ro", "G:Rock(2) S:Rockola G:News(1) G:Talk(2) S:Talk"}, // name or info, any case
        {"?", "G:Rock(2) S:Rockola S:Jazzy G:News(1) S:BBC G:Talk(2) S:Talk"},
        {"b?c", "G:Rock(2) G:News(1) S:BBC G:Talk(2)"},
        {"[jt]", "G:Rock(2) S:Jazzy G:News(1) G:Talk(2) S:Talk"},
        {"[ab", "G:Rock(2) G:News(1) G:Talk(2)"}, // unfinished set: nothing matches
    };
    for (const Row& row : table) {
        load(content, QString::fromLatin1(row.filter));
        EXPECT_TRUE(last.ok) << row.filter;
        EXPECT_EQ(rows(), row.rows) << row.filter;
        EXPECT_EQ(last.filterInvalid, std::string(row.filter) == "[ab");
    }
}

TEST_F(LoadTest, ReloadAfterCommitKeepsCollapsedGroupsShutWhileFiltering) {
    load(root({group("Rock", 1, {"ro1"}), group("News", 0, {"ro2", "x"})}), QStringLiteral("ro"));
    EXPECT_EQ(rows(), "G:Rock(1) S:ro1 G:News(2) S:ro2");
    const CommitResult c = favs->CommitFavs();
    ASSERT_TRUE(c.written);
    EXPECT_EQ(rows(), "G:Rock(1) G:News(2) S:ro2");
}

TEST_F(LoadTest, MissingChildIsAddedAtTheNextCommit) {
    load("<r><group Name=\"G\" rolled=\"0\"><station><Name>s</Name><Url>u</Url></station>"
         "</group></r>");
    EXPECT_EQ(favs->stations()[1].Info, "");
    EXPECT_FALSE(readBytes(path()).contains("Info"));
    ASSERT_TRUE(favs->CommitFavs().written);
    pugi::xml_document doc;
    const QByteArray bytes = readBytes(path());
    ASSERT_TRUE(doc.load_buffer(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    const pugi::xml_node st = doc.document_element().first_child().first_child();
    for (const char* name : {"Url", "Name", "Info", "Bitrate", "Video"})
        EXPECT_TRUE(st.child(name)) << name;
}

TEST_F(LoadTest, CommitRoundTripKeepsTextsExactly) {
    load("<favourites><group Name=\"  Ünï  \" rolled=\"7\" Color=\"$666666\" extra=\"kept\">"
         "<station><Url>http://a/b?x=1&amp;y=2</Url><Name>  spaced  </Name>"
         "<Info>line 1\nline 2 &lt;b&gt;</Info><Bitrate>unknown</Bitrate><Video>1</Video>"
         "</station><station><Url>a&#13;b</Url><Name>c&#13;&#10;d</Name><Info>i&#13;<?pi x?><!-- c "
         "-->j</Info>"
         "</station></group></favourites>");
    const TStationList before = favs->stations();
    ASSERT_TRUE(favs->CommitFavs().written);
    const TStationList& after = favs->stations();
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 0; i < after.size(); ++i) {
        EXPECT_EQ(after[i].Name, before[i].Name);
        EXPECT_EQ(after[i].Info, before[i].Info);
        EXPECT_EQ(after[i].Url, before[i].Url);
        EXPECT_EQ(after[i].Bitrate, before[i].Bitrate);
        EXPECT_EQ(after[i].Video, before[i].Video);
        EXPECT_EQ(after[i].Color, before[i].Color);
    }
    EXPECT_EQ(after[0].Name, QStringLiteral("  Ünï  "));
    EXPECT_EQ(after[1].Info, "line 1\nline 2 <b>");
    EXPECT_EQ(after[2].Url, "a\rb");
    EXPECT_EQ(after[2].Name, "c\r\nd");
    EXPECT_EQ(after[2].Info, "i\rj") << "the text around a comment is the element's text";
    const QByteArray bytes = readBytes(path());
    EXPECT_TRUE(bytes.contains("<favourites>")) << "the root element keeps its name";
    EXPECT_TRUE(bytes.contains("extra=\"kept\""));
    EXPECT_TRUE(bytes.contains("Color=\"$666666\""));
}

TEST_F(LoadTest, IsFavouriteUrlIsExact) {
    load(kThreeGroups);
    EXPECT_TRUE(favs->IsFavouriteUrl(QStringLiteral("http://x/c2")));
    EXPECT_FALSE(favs->IsFavouriteUrl(QStringLiteral("HTTP://x/c2")));
    EXPECT_FALSE(favs->IsFavouriteUrl(QStringLiteral("http://x/c")));
    EXPECT_EQ(favs->groupNames(), QStringList({"A", "B", "C"}));
}

// ---- character encodings -----------------------------------------------------------------

bool isValidUtf8(const QByteArray& bytes) {
    QStringDecoder utf8(QStringConverter::Utf8);
    utf8.decode(bytes);
    return !utf8.hasError();
}

// A group and a station both named `name` (bytes in the file's own encoding).
QByteArray namedFavourites(const QByteArray& declaration, const QByteArray& name) {
    return declaration + "<stations><group Name=\"" + name + "\" rolled=\"0\"><station><Name>" +
           name + "</Name><Info>" + name + "</Info><Url>http://x/</Url></station></group>" +
           "</stations>";
}

TEST_F(LoadTest, FilesAreReadByTheirEncodingAndWrittenAsUtf8) {
    const QString cafe = QStringLiteral(u"Caf\u00E9 \u20AC");
    const QString radio = QStringLiteral(u"\u0420\u0430\u0434\u0438\u043E");
    const QString lodz = QStringLiteral(u"\u0141\u00F3d\u017A");
    auto decl = [](const char* name) {
        return QByteArray("<?xml version=\"1.0\" encoding=\"") + name + "\"?>\n";
    };
    struct Row {
        const char* what;
        QByteArray file;
        QString name;
    };
    const Row table[] = {
        {"windows-1251", namedFavourites(decl("windows-1251"), "\xD0\xE0\xE4\xE8\xEE"), radio},
        {"windows-1252", namedFavourites(decl("Windows-1252"), "Caf\xE9 \x80"), cafe},
        {"ISO-8859-1, single quotes",
         namedFavourites("<?xml version='1.0' encoding = 'ISO-8859-1' ?>", "Caf\xE9"),
         QStringLiteral(u"Caf\u00E9")},
        {"ISO-8859-2",
         namedFavourites(decl("ISO-8859-2"), "\xA3\xF3"
                                             "d\xBC"),
         lodz},
        {"ISO-8859-5", namedFavourites(decl("iso-8859-5"), "\xC0\xD0\xD4\xD8\xDE"), radio},
        {"ISO-8859-15", namedFavourites(decl("ISO-8859-15"), "\xA4"), QStringLiteral(u"\u20AC")},
        {"KOI8-R", namedFavourites(decl("KOI8-R"), "\xF2\xC1\xC4\xC9\xCF"), radio},
        {"undeclared 8-bit", namedFavourites("", "Caf\xE9 \x80"), cafe},
        {"UTF-8 declared, 8-bit bytes", namedFavourites(decl("UTF-8"), "Caf\xE9 \x80"), cafe},
        {"UTF-8", namedFavourites(decl("utf-8"), cafe.toUtf8()), cafe},
        {"UTF-8 with BOM", "\xEF\xBB\xBF" + namedFavourites("", radio.toUtf8()), radio},
        {"UTF-16LE with BOM",
         encoded(QStringConverter::Utf16LE,
                 QString::fromUtf8(namedFavourites(decl("UTF-16"), radio.toUtf8()))),
         radio},
        {"UTF-16BE with BOM",
         encoded(QStringConverter::Utf16BE, QString::fromUtf8(namedFavourites("", lodz.toUtf8()))),
         lodz},
        // Without a byte order mark, UTF-16 shows by the NUL bytes of its first characters.
        {"UTF-16LE, no BOM", bare(QStringConverter::Utf16LE, namedFavourites("", lodz.toUtf8())),
         lodz},
        {"UTF-16LE, no BOM, leading line break",
         bare(QStringConverter::Utf16LE, "\r\n" + namedFavourites(decl("UTF-16"), lodz.toUtf8())),
         lodz},
        {"UTF-16BE, no BOM, leading blanks",
         bare(QStringConverter::Utf16BE, "  \t" + namedFavourites("", radio.toUtf8())), radio},
        {"UTF-16BE, no BOM, leading line break",
         bare(QStringConverter::Utf16BE, "\n" + namedFavourites(decl("UTF-16"), cafe.toUtf8())),
         cafe},
        {"UTF-8, leading line break and blanks",
         "\n  " + namedFavourites(decl("UTF-8"), lodz.toUtf8()), lodz},
        {"UTF-16 declared, UTF-8 bytes", namedFavourites(decl("UTF-16"), lodz.toUtf8()), lodz},
        {"US-ASCII declared, 8-bit bytes", namedFavourites(decl("us-ascii"), "Caf\xE9 \x80"), cafe},
        {"lone surrogate reference", namedFavourites(decl("UTF-8"), "a&#xD800;b"),
         QStringLiteral(u"a\uFFFD\uFFFD\uFFFDb")},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.what);
        load(row.file);
        ASSERT_TRUE(last.ok) << last.error.toStdString();
        ASSERT_EQ(favs->rowCount(), 2);
        EXPECT_EQ(favs->stations()[0].Name, row.name);
        EXPECT_EQ(favs->stations()[1].Name, row.name);
        EXPECT_EQ(favs->stations()[1].Info, row.name);

        ASSERT_TRUE(favs->CommitFavs().written);
        const QByteArray written = readBytes(path());
        EXPECT_TRUE(written.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"))
            << written.left(60).toStdString();
        EXPECT_TRUE(isValidUtf8(written)) << written.toHex().toStdString();
        EXPECT_EQ(favs->stations()[1].Name, row.name) << "read back from the new file";
    }
}

// ---- unreadable files are kept ------------------------------------------------------------

TEST_F(LoadTest, UnreadableFileIsMovedAsideBeforeTheFirstCommit) {
    const QByteArray broken = "<stations><group Name=\"Mine\" rolled=\"0\"><station>";
    load(broken);
    ASSERT_TRUE(favs->loadFailed());
    favs->insertGroupAtTop(QStringLiteral("New"), QStringLiteral("1"), QStringLiteral("255"));
    const CommitResult c = favs->CommitFavs();
    ASSERT_TRUE(c.written) << c.error.toStdString();
    ASSERT_FALSE(c.backupPath.isEmpty());
    EXPECT_TRUE(QFileInfo(c.backupPath).fileName().startsWith("stations.xml.broken-"));
    EXPECT_EQ(QFileInfo(c.backupPath).absolutePath(), QFileInfo(path()).absolutePath());
    EXPECT_EQ(readBytes(c.backupPath), broken);
    EXPECT_EQ(outline(path()), "New[]");
    // Later commits write over the new, good file without another copy.
    EXPECT_TRUE(favs->CommitFavs().backupPath.isEmpty());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2);
}

TEST_F(LoadTest, MissingFileIsCreatedByTheFirstChange) {
    FavouritesDocument f(path());
    EXPECT_TRUE(f.LoadFavs({}).ok);
    f.insertGroupAtTop(QStringLiteral("G"), QStringLiteral("1"), QStringLiteral("0"));
    const CommitResult c = f.CommitFavs();
    EXPECT_TRUE(c.written);
    EXPECT_TRUE(c.backupPath.isEmpty());
    EXPECT_EQ(outline(path()), "G[]");
    EXPECT_EQ(c.load.statusText, "1 stations");
}

// ---- drag and drop ----------------------------------------------------------------------

class DropTest : public FavouritesFixture {};

// Rows of kThreeGroups: 0 A, 1 a1, 2 a2, 3 B, 4 b1, 5 C, 6 c1, 7 c2.
TEST_F(DropTest, MovesElements) {
    struct Row {
        int dragged, target;
        const char* result;
    };
    const Row table[] = {
        {5, 1, "C[c1,c2] A[a1,a2] B[b1]"}, // third group onto a station of the first
        {0, 5, "B[b1] A[a1,a2] C[c1,c2]"}, // first group onto the third group's row
        {0, 2, "A[a1,a2] B[b1] C[c1,c2]"}, // onto a station of its own group
        {7, 0, "A[c2,a1,a2] B[b1] C[c1]"}, // station onto a group row: top of that group
        {2, 1, "A[a2,a1] B[b1] C[c1,c2]"}, // up within the group
        {1, 2, "A[a1,a2] B[b1] C[c1,c2]"}, // lands just before the next one: same place
        {1, 7, "A[a2] B[b1] C[c1,a1,c2]"}, // into another group, before the target
        {4, 3, "A[a1,a2] B[b1] C[c1,c2]"}, // onto its own group row
    };
    for (const Row& row : table) {
        load(kThreeGroups);
        const auto result = dropRow(*favs, row.dragged, row.target);
        ASSERT_TRUE(result) << row.dragged << "->" << row.target;
        EXPECT_TRUE(result->written);
        EXPECT_EQ(outline(path()), row.result) << row.dragged << "->" << row.target;
    }
}

TEST_F(DropTest, IntoACollapsedGroup) {
    load(root({group("A", 0, {"a1"}), group("B", 1, {"b1"})})); // rows: A a1 B
    ASSERT_TRUE(dropRow(*favs, 1, 2));
    EXPECT_EQ(outline(path()), "A[] B[a1,b1]");
    EXPECT_EQ(rows(), "G:A(0) G:B(2)");
}

TEST_F(DropTest, NothingHappensWithoutAValidTarget) {
    for (const auto& [dragged, target] :
         {std::pair{3, 3}, std::pair{1, -1}, std::pair{1, 8}, std::pair{-1, 2}, std::pair{99, 0}}) {
        load(kThreeGroups);
        EXPECT_FALSE(dropRow(*favs, dragged, target)) << dragged << "->" << target;
        EXPECT_EQ(readBytes(path()), kThreeGroups) << "nothing is written";
    }
}

// ---- deleting and collapsing --------------------------------------------------------------

class ChangeTest : public FavouritesFixture {};

TEST_F(ChangeTest, Deletion) {
    struct Row {
        int row;
        bool yes;
        bool writes;
        const char* result;
    };
    const Row table[] = {
        {2, true, true, "A[a1] B[b1] C[c1,c2]"},
        {2, false, false, "A[a1,a2] B[b1] C[c1,c2]"}, // No on a station: untouched
        {0, true, true, "B[b1] C[c1,c2]"},            // a group goes with its stations
        {0, false, true, "A[a1,a2] B[b1] C[c1,c2]"},  // No on a group still commits
    };
    for (const Row& row : table) {
        load(kThreeGroups);
        const auto q = deleteQuestion(*favs, row.row);
        ASSERT_TRUE(q);
        const auto result = deleteRow(*favs, row.row, row.yes);
        EXPECT_EQ(result.has_value(), row.writes);
        EXPECT_EQ(readBytes(path()) == kThreeGroups, !row.writes);
        EXPECT_EQ(outline(path()), row.result);
    }
    load(kThreeGroups);
    EXPECT_EQ(deleteQuestion(*favs, 1)->instruction, "Are You sure wish to delete this station?");
    EXPECT_EQ(deleteQuestion(*favs, 1)->content, "a1\r\ninfo a1");
    EXPECT_EQ(deleteQuestion(*favs, 3)->instruction, "Are You sure wish to delete this group?");
    EXPECT_EQ(deleteQuestion(*favs, 3)->content, "B");
    EXPECT_FALSE(deleteQuestion(*favs, 8));
}

TEST_F(ChangeTest, CollapseToggle) {
    struct Row {
        int rolled;
        const char* written;
    };
    for (const Row& row : {Row{0, "1"}, Row{1, "0"}, Row{5, "1"}, Row{-1, "1"}}) {
        load(root({group("A", 0, {"a1"}), group("B", row.rolled, {"b1", "b2"})})); // B is row 2
        const auto result = toggleCollapse(*favs, 2);
        ASSERT_TRUE(result);
        EXPECT_EQ(result->reselectRow, 2);
        pugi::xml_document doc;
        const QByteArray bytes = readBytes(path());
        ASSERT_TRUE(doc.load_buffer(bytes.constData(), static_cast<std::size_t>(bytes.size())));
        EXPECT_STREQ(doc.document_element().last_child().attribute("rolled").value(), row.written);
        EXPECT_EQ(favs->rowCount(), std::string(row.written) == "1" ? 3 : 5);
    }
    load(kThreeGroups);
    EXPECT_FALSE(toggleCollapse(*favs, 1)) << "station rows do not toggle";
}

// ---- import -----------------------------------------------------------------------------

class ImportTest : public FavouritesFixture {
protected:
    QString source(const QByteArray& content) {
        const QString p = dir.filePath(QStringLiteral("import.xml"));
        writeBytes(p, content);
        return p;
    }
};

TEST_F(ImportTest, AddsAnExpandedGroupAtTheTop) {
    load(root({group("A", 1, {"a1"})}));
    const ImportResult r = importAndCommit(
        *favs, source("<list><s><url>http://one</url><name>One</name></s>\n"
                      "<anything><name>Two</name><video>1</video><bitrate>64</bitrate>"
                      "<info>i</info><url>u2</url></anything></list>"));
    EXPECT_FALSE(r.failed);
    ASSERT_TRUE(r.commit.written);
    EXPECT_EQ(outline(path()), "Exported stations[One,Two] A[a1]");
    EXPECT_EQ(rows(), "G:Exported stations(2) S:One S:Two G:A(1)");
    const TStation& one = favs->stations()[1];
    EXPECT_EQ(one.Url, "http://one");
    EXPECT_EQ(one.Info, "");
    EXPECT_EQ(bitrateText(one), " kbps");
    EXPECT_EQ(favs->stations()[0].Color, 0x666666u);
    EXPECT_TRUE(favs->stations()[2].Video);
    EXPECT_TRUE(readBytes(path()).contains(
        "<group rolled=\"0\" Name=\"Exported stations\" Color=\"$666666\">"));
}

TEST_F(ImportTest, Cases) {
    struct Row {
        QByteArray source;
        bool failed;
        const char* outline;
    };
    const Row table[] = {
        {"<empty/>", false, "Exported stations[] A[a1]"},
        {"not xml at all", true, "A[a1]"},
        {"<list><s><url>x</url>", true, "A[a1]"},
        // A favourites file: one empty station per group (the lower-case names are absent).
        {kThreeGroups, false, "Exported stations[,,] A[a1]"},
        {"<?xml version=\"1.0\" encoding=\"windows-1251\"?><l><s><name>\xD0\xE0\xE4\xE8\xEE"
         "</name></s><s><name>Caf\xE9</name></s></l>",
         false, "Exported stations[\u0420\u0430\u0434\u0438\u043E,Caf\u0439] A[a1]"},
        {"<l><s><name>Caf\xE9</name></s></l>", false, "Exported stations[Caf\u00E9] A[a1]"},
        {"<?xml version=\"1.0\" encoding=\"x-no-such-codec\"?><l><s/></l>", true, "A[a1]"},
    };
    for (const Row& row : table) {
        load(root({group("A", 0, {"a1"})}));
        const ImportResult r = importAndCommit(*favs, source(row.source));
        EXPECT_EQ(r.failed, row.failed);
        EXPECT_TRUE(r.commit.written) << "an import always ends with a commit";
        EXPECT_EQ(outline(path()), row.outline);
    }
    load(root({group("A", 0, {"a1"})}));
    EXPECT_TRUE(importAndCommit(*favs, dir.filePath(QStringLiteral("absent.xml"))).failed);
}

TEST_F(ImportTest, FailedImportWithoutFavouritesWritesAValidEmptyFile) {
    FavouritesDocument f(path());
    EXPECT_TRUE(f.LoadFavs({}).ok);
    const ImportResult r = importAndCommit(f, source("broken <"));
    EXPECT_TRUE(r.failed);
    ASSERT_TRUE(r.commit.written);
    EXPECT_TRUE(r.commit.load.ok) << r.commit.load.error.toStdString();
    EXPECT_EQ(r.commit.load.statusText, "0 stations");
}

TEST_F(ImportTest, TwiceGivesTwoGroups) {
    load(root({}));
    const QString src = source("<l><s><name>X</name></s></l>");
    importAndCommit(*favs, src);
    importAndCommit(*favs, src);
    EXPECT_EQ(outline(path()), "Exported stations[X] Exported stations[X]");
}

TEST(StationText, BitrateColumnAndGroupCaption) {
    TStation s;
    for (const auto& [stored, shown] :
         {std::pair{"0", "unknown"}, std::pair{"128", "128 kbps"}, std::pair{"", " kbps"},
          std::pair{"unknown", "unknown kbps"}}) {
        s.Bitrate = QString::fromLatin1(stored);
        EXPECT_EQ(bitrateText(s), QString::fromLatin1(shown));
    }
    TStation g;
    g.Name = QStringLiteral("Rock");
    g.Info = QStringLiteral("12");
    EXPECT_EQ(groupCaption(g), "Rock (12)");
    EXPECT_EQ(bitrateChoiceIndex(QStringLiteral("UNKNOWN")), 0);
    EXPECT_EQ(bitrateChoiceIndex(QStringLiteral("128")), 9);
    EXPECT_EQ(bitrateChoiceIndex(QStringLiteral("128 ")), -1);
    EXPECT_EQ(bitrateChoices().size(), 16);
}

} // namespace

namespace {

TEST(DefaultFavourites, ShippedFileLoadsCleanly) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("stations.xml"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(TL_SOURCE_DIR "/assets/stations.xml"), path));
    tl::FavouritesDocument favs(path);
    const tl::LoadResult r = favs.LoadFavs({});
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_GE(favs.groupCount(), 3);
    for (const tl::TStation& s : favs.stations()) {
        if (!s.isGroup()) {
            EXPECT_TRUE(s.Url.startsWith(QLatin1String("http://"))) << s.Url.toStdString();
        }
    }
}

} // namespace

TEST_F(LoadTest, MenuEntriesFollowTheDocumentWithTheFirstAddress) {
    load(root({group("Rock", 1, {"Rockola"}),
               QByteArray("<group Name=\"Talk\" rolled=\"0\"><station><Name>Two urls</Name>"
                          "<Url>http://a/first</Url><Url>http://a/second</Url></station>"
                          "<station><Name>No url</Name></station></group>"),
               group("Empty", 0, {})}));
    const auto menu = favs->menuEntries();
    ASSERT_EQ(menu.size(), 3);
    EXPECT_EQ(menu[0].name, "Rock") << "collapsed groups are listed too";
    ASSERT_EQ(menu[0].stations.size(), 1);
    EXPECT_EQ(menu[0].stations[0].name, "Rockola");
    ASSERT_EQ(menu[1].stations.size(), 2);
    EXPECT_EQ(menu[1].stations[0].url, "http://a/first");
    EXPECT_TRUE(menu[1].stations[1].url.isEmpty());
    EXPECT_TRUE(menu[2].stations.isEmpty());
}
