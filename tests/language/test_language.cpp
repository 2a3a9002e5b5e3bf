// The language switch under the windows: every translation file embedded in
// the program (a copied Windows program has no other), the number locale
// following the language, and lookups in a language other than the window's.
#include "Language.h"
#include "NumberFormat.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <gtest/gtest.h>

namespace {

using Language::TLanguage;

// Counts the LanguageChange events the application object receives.
class TChangeCounter : public QObject
{
public:
    int changes = 0;
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::LanguageChange)
            ++changes;
        return false;
    }
};

TEST(Language, EveryTranslationFileIsEmbeddedAndApplies)
{
    TChangeCounter counter;
    qApp->installEventFilter(&counter);
    EXPECT_TRUE(Language::Apply(TLanguage::Hungarian));
    EXPECT_EQ(Language::Current(), TLanguage::Hungarian);
    const int afterHungarian = counter.changes;
    EXPECT_GT(afterHungarian, 0) << "the windows must hear of the switch";
    EXPECT_TRUE(Language::Apply(TLanguage::English));
    EXPECT_EQ(Language::Current(), TLanguage::English);
    EXPECT_GT(counter.changes, afterHungarian);
    qApp->removeEventFilter(&counter);
}

TEST(Language, NumbersFollowTheLanguage)
{
    // The test runs with LANG=hu_HU.UTF-8 (see main): Hungarian keeps the
    // desktop's separator (a comma here), as the design's window always did;
    // English the point.
    Language::Apply(TLanguage::English);
    EXPECT_EQ(NumberFormat::Format(4.5, QStringLiteral("0.00")), QStringLiteral("4.50"));
    Language::Apply(TLanguage::Hungarian);
    const QString desktop = QLocale::system().decimalPoint();
#ifndef _WIN32
    EXPECT_EQ(desktop, QStringLiteral(",")); // Windows takes the locale from its own settings, not LANG
#endif
    EXPECT_EQ(NumberFormat::Format(4.5, QStringLiteral("0.00")), QStringLiteral("4") + desktop + QStringLiteral("50"));
    Language::Apply(TLanguage::English);
}

TEST(Language, CodesLocalesAndLookups)
{
    EXPECT_EQ(Language::FromCode(QStringLiteral(" HU ")), TLanguage::Hungarian);
    EXPECT_EQ(Language::FromCode(QStringLiteral("en")), TLanguage::English);
    EXPECT_FALSE(Language::FromCode(QStringLiteral("de")).has_value());
    EXPECT_FALSE(Language::FromCode(QString()).has_value());
    EXPECT_EQ(Language::FromLocale(QLocale(QLocale::Hungarian, QLocale::Hungary)), TLanguage::Hungarian);
    EXPECT_EQ(Language::FromLocale(QLocale(QLocale::German, QLocale::Germany)), TLanguage::English);
    EXPECT_EQ(Language::FromLocale(QLocale::c()), TLanguage::English);
#ifndef _WIN32
    EXPECT_EQ(Language::FromDesktop(), TLanguage::Hungarian); // LANG=hu_HU.UTF-8 (see main)
#endif
    // A text no file knows comes back as written, with its count filled in.
    EXPECT_EQ(Language::Translate(TLanguage::Hungarian, "NoSuchContext", "%n unknown thing(s)", 3),
              QStringLiteral("3 unknown thing(s)"));
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("LANG", "hu_HU.UTF-8");
    qputenv("LC_ALL", "hu_HU.UTF-8");
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
