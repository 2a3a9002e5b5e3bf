// About: reached from the tools like the other windows, one window however
// often it is asked for, stating the tool's own version (not the firmware's
// in the title bar), the licence and the Qt it runs on.
#include "Tools.h"
#include "AppTest.h"

#include <kv508/Version.h>

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>

namespace {

using AboutTest = AppTest;

QString Shown(QWidget *window)
{
    QString all;
    for (const QLabel *label : window->findChildren<QLabel *>())
        all += label->text() + QLatin1Char('\n');
    return all;
}

TEST_F(AboutTest, F1OpensOneWindowWithVersionLicenceAndQt)
{
    QAction *action = form->Tools()->Action(TToolWindows::About);
    EXPECT_EQ(action->shortcut(), QKeySequence(Qt::Key_F1));
    action->trigger();
    QWidget *about = form->Tools()->Window(TToolWindows::About);
    ASSERT_NE(about, nullptr) << "About is left out of the build";
    EXPECT_TRUE(about->isVisible());
    EXPECT_TRUE(about->isWindow());

    const QString text = Shown(about);
    EXPECT_TRUE(text.contains(QStringLiteral("Version " KV508_VERSION))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("GPL-3.0-or-later")));
    EXPECT_TRUE(text.contains(QString::fromLatin1(qVersion())));
    EXPECT_FALSE(text.contains(QStringLiteral("Version 2017"))) << "the firmware is not the tool's version";

    // Copy gives what a bug report needs.
    auto *copy = about->findChild<QPushButton *>(QStringLiteral("Button_AboutCopy"));
    ASSERT_NE(copy, nullptr);
    copy->click();
    const QString copied = QGuiApplication::clipboard()->text();
    EXPECT_TRUE(copied.startsWith(QStringLiteral("kv508 " KV508_VERSION "\n"))) << copied.toStdString();
    EXPECT_TRUE(copied.contains(QStringLiteral("Qt ") + QString::fromLatin1(qVersion())));

    // Escape hides it; asking again shows the same window.
    QTest::keyClick(about, Qt::Key_Escape);
    EXPECT_FALSE(about->isVisible());
    action->trigger();
    EXPECT_EQ(form->Tools()->Window(TToolWindows::About), about);
    EXPECT_TRUE(about->isVisible());
}

} // namespace
