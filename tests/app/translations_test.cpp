// The console in English and Simplified Chinese: which catalogue a choice means, catalogues that hold a
// translation for every text the sources show, and the main window in Chinese.

#include "app/main_frame.h"
#include "app/translations.h"
#include "i18n/translate.h"
#include "sim_frame_fixture.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QMenuBar>
#include <QProcess>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>

namespace {

using nemora::app::CatalogueFor;

bool HasChinese(const QString& text)
{
    return std::any_of(text.begin(), text.end(),
                       [](QChar c) { return c.unicode() >= 0x4E00 && c.unicode() <= 0x9FFF; });
}

struct ChoiceCase {
    const char* choice;
    const char* locale;
    const char* catalogue;
};

void PrintTo(const ChoiceCase& c, std::ostream* os)
{
    *os << "choice '" << c.choice << "' under " << c.locale;
}

class CatalogueChoice : public testing::TestWithParam<ChoiceCase> {};

TEST_P(CatalogueChoice, FollowsTheChoiceElseTheSystem)
{
    const ChoiceCase& c = GetParam();
    EXPECT_EQ(CatalogueFor(c.choice, QLocale(c.locale)).toStdString(), c.catalogue);
}

INSTANTIATE_TEST_SUITE_P(Choices, CatalogueChoice,
                         testing::Values(ChoiceCase{"", "zh_CN", "zh_CN"}, ChoiceCase{"", "zh_SG", "zh_CN"},
                                         ChoiceCase{"", "zh_Hans_HK", "zh_CN"}, ChoiceCase{"", "zh_TW", "en"},
                                         ChoiceCase{"", "zh_HK", "en"}, ChoiceCase{"", "en_US", "en"},
                                         ChoiceCase{"", "de_DE", "en"}, ChoiceCase{"", "C", "en"},
                                         ChoiceCase{"en", "zh_CN", "en"}, ChoiceCase{"zh_CN", "en_US", "zh_CN"},
                                         ChoiceCase{"fr", "zh_CN", "zh_CN"}));

TEST(Fill, PutsValuesWhereTheTranslationWantsThemAndNeverRereadsThem)
{
    using nemora::i18n::Fill;
    EXPECT_EQ(Fill("%2 的%1于 %3 中断", {"firmware update", "Product 01", "9 Dec"}),
              "Product 01 的firmware update于 9 Dec 中断");
    EXPECT_EQ(Fill("%1: %2", {"100%1", "%2"}), "100%1: %2");
    EXPECT_EQ(Fill("50% of %1, %3", {"x"}), "50% of x, %3");
}

// What a catalogue holds that a user would miss.
struct CatalogueGaps {
    QStringList unfinished;   // a text shown untranslated
    QStringList placeholders; // a translation whose %1, %d... differ from its source's
};

QStringList Placeholders(const QString& text)
{
    static const QRegularExpression pattern(
        R"(%(?:\d+|[-+ #0]*(?:\d+|\*)?(?:\.(?:\d+|\*))?(?:ll|l|h|z)?[diouxXsfcp]))");
    QStringList found;
    for (auto it = pattern.globalMatch(text); it.hasNext();)
        found << it.next().captured();
    found.sort();
    return found;
}

// Reads a catalogue lupdate wrote. `needed` says which source texts must be translated in it.
CatalogueGaps ReadCatalogue(const QString& path, const std::function<bool(const QString&)>& needed)
{
    CatalogueGaps gaps;
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    QXmlStreamReader xml(&file);
    QString context, source, translation, type;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement()) {
            if (xml.isEndElement() && xml.name() == QLatin1String("message")) {
                // Texts the sources no longer hold are kept as "vanished" or "obsolete" and never shown.
                if (type == QLatin1String("vanished") || type == QLatin1String("obsolete"))
                    continue;
                const QString where = context + ": " + source;
                if (type == QLatin1String("unfinished") || translation.isEmpty()) {
                    if (needed(source))
                        gaps.unfinished << where;
                } else if (Placeholders(source) != Placeholders(translation)) {
                    gaps.placeholders << where;
                }
            }
            continue;
        }
        if (xml.name() == QLatin1String("name"))
            context = xml.readElementText();
        else if (xml.name() == QLatin1String("message"))
            source.clear(), translation.clear(), type.clear();
        else if (xml.name() == QLatin1String("source"))
            source = xml.readElementText();
        else if (xml.name() == QLatin1String("translation")) {
            type = xml.attributes().value("type").toString();
            translation = xml.readElementText();
        }
    }
    EXPECT_FALSE(xml.hasError()) << path.toStdString() << ": " << xml.errorString().toStdString();
    return gaps;
}

// The sources' texts as lupdate finds them today, merged into copies of the catalogues in the
// repository: Simplified Chinese needs every text, English those the design wrote in Chinese.
TEST(Catalogues, TranslateEveryTextTheSourcesShow)
{
    QTemporaryDir dir;
    QStringList arguments = QString(NEMORA_LUPDATE_OPTIONS).split('|');
    arguments << QString(NEMORA_TS_SOURCES).split('|') << "-ts";
    QStringList copies;
    for (const QString& ts : QString(NEMORA_TS_FILES).split('|')) {
        const QString copy = dir.filePath(QFileInfo(ts).fileName());
        ASSERT_TRUE(QFile::copy(ts, copy)) << ts.toStdString();
        arguments << copy;
        copies << copy;
    }
    QProcess lupdate;
    lupdate.start(NEMORA_LUPDATE, arguments);
    ASSERT_TRUE(lupdate.waitForFinished(120000)) << lupdate.errorString().toStdString();
    ASSERT_EQ(lupdate.exitCode(), 0) << lupdate.readAllStandardError().toStdString();

    for (const QString& copy : copies) {
        const bool chinese = copy.endsWith("zh_CN.ts");
        const CatalogueGaps gaps =
            ReadCatalogue(copy, [chinese](const QString& source) { return chinese || HasChinese(source); });
        EXPECT_TRUE(gaps.unfinished.isEmpty())
            << gaps.unfinished.size() << " texts without a translation in " << QFileInfo(copy).fileName().toStdString()
            << " (run the update-translations target, then translate them):\n"
            << gaps.unfinished.mid(0, 40).join('\n').toStdString();
        EXPECT_TRUE(gaps.placeholders.isEmpty()) << "translations whose placeholders differ from their source's:\n"
                                                 << gaps.placeholders.join('\n').toStdString();
    }
}

struct ChineseFrame : SimFrameFixture {
    void SetUp() override
    {
        ASSERT_TRUE(nemora::app::InstallTranslations(*qApp, "zh_CN", {NEMORA_QM_FOLDER}));
        SimFrameFixture::SetUp();
    }
    void TearDown() override { nemora::app::InstallTranslations(*qApp, "none", {}); }
};

TEST_F(ChineseFrame, ShowsItsTabsAndMenusInChinese)
{
    auto* tabs = frame->findChild<QTabWidget*>();
    ASSERT_NE(tabs, nullptr);
    ASSERT_GT(tabs->count(), 0);
    for (int i = 0; i < tabs->count(); ++i)
        EXPECT_TRUE(HasChinese(tabs->tabText(i))) << tabs->tabText(i).toStdString();
    const QList<QAction*> menus = frame->menuBar()->actions();
    ASSERT_FALSE(menus.isEmpty());
    for (QAction* menu : menus) {
        EXPECT_TRUE(HasChinese(menu->text())) << menu->text().toStdString();
        for (QAction* item : menu->menu()->actions())
            EXPECT_TRUE(item->isSeparator() || HasChinese(item->text())) << item->text().toStdString();
    }
}

TEST(EnglishCatalogue, PutsTheDesignsChineseTextsInEnglish)
{
    ASSERT_TRUE(nemora::app::InstallTranslations(*qApp, "en", {NEMORA_QM_FOLDER}));
    const std::string text = nemora::i18n::Tr("DriverInstall", "安装失败，错误码：0x%X");
    nemora::app::InstallTranslations(*qApp, "none", {});
    EXPECT_FALSE(HasChinese(QString::fromStdString(text))) << text;
    EXPECT_NE(text.find("0x%X"), std::string::npos) << text;
}

} // namespace
