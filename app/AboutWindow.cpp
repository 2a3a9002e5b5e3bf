// About: what the tool is, its own version (the title bar shows the
// instrument's firmware, which people take for it), the licence and the Qt it
// runs on; "Copy" puts the facts a bug report wants on the clipboard.
#include "Main.h"
#include "Tools.h"

#include <kv508/Version.h>

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSysInfo>
#include <QVBoxLayout>

namespace {

QString Facts()
{
    return QStringLiteral("kv508 %1\nQt %2 (built with %3), platform %4\n%5")
        .arg(QStringLiteral(KV508_VERSION), QString::fromLatin1(qVersion()), QStringLiteral(QT_VERSION_STR),
             QGuiApplication::platformName(), QSysInfo::prettyProductName());
}

} // namespace

QWidget *MakeAboutWindow(TForm1 &form)
{
    auto *window = new QDialog(&form);
    window->setObjectName(QStringLiteral("AboutWindow"));
    window->setWindowTitle(QStringLiteral("About KV508 I Configuration"));

    auto *icon = new QLabel(window);
    icon->setObjectName(QStringLiteral("Label_AboutIcon"));
    QIcon appIcon = QIcon::fromTheme(QStringLiteral(KV508_APP_ID));
    if (appIcon.isNull())
        appIcon = QApplication::windowIcon();
    if (!appIcon.isNull())
        icon->setPixmap(appIcon.pixmap(64, 64));
    icon->setAlignment(Qt::AlignTop);

    auto *title = new QLabel(QStringLiteral("<b style=\"font-size:large\">KV508 I Configuration</b><br>Version %1")
                                 .arg(QStringLiteral(KV508_VERSION)),
                             window);
    title->setObjectName(QStringLiteral("Label_AboutVersion"));
    title->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *text = new QLabel(window);
    text->setObjectName(QStringLiteral("Label_AboutText"));
    text->setWordWrap(true);
    text->setOpenExternalLinks(true);
    text->setTextInteractionFlags(Qt::TextBrowserInteraction);
    text->setText(
        QStringLiteral(
            "<p>Configures and calibrates the KV508 I 4–20 mA pressure and temperature transmitter over a serial "
            "line. <tt>kv508ctl</tt> does the same from the command line; <tt>kv508-sim</tt> plays the instrument "
            "for trying it without one.</p>"
            "<p>The title bar's v%1 is the instrument firmware this tool is made for.</p>"
            "<p>Licence: GNU General Public License, version 3 or any later version (GPL-3.0-or-later). "
            "This program is free software: you may share and change it under the terms of the "
            "<a href=\"https://www.gnu.org/licenses/gpl-3.0.html\">licence</a>. "
            "It comes with ABSOLUTELY NO WARRANTY.</p>"
            "<p><a href=\"%2\">%2</a></p>"
            "<p>Qt %3 (built with %4), platform %5.</p>")
            .arg(TForm1::VersionText(), QStringLiteral(KV508_HOMEPAGE), QString::fromLatin1(qVersion()),
                 QStringLiteral(QT_VERSION_STR), QGuiApplication::platformName()));

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, window);
    QPushButton *copy = buttons->addButton(QStringLiteral("&Copy"), QDialogButtonBox::ActionRole);
    copy->setObjectName(QStringLiteral("Button_AboutCopy"));
    copy->setToolTip(QStringLiteral("Copy the versions, for a bug report"));
    QPushButton *aboutQt = buttons->addButton(QStringLiteral("About &Qt"), QDialogButtonBox::ActionRole);
    QObject::connect(copy, &QPushButton::clicked, window, [] { QGuiApplication::clipboard()->setText(Facts()); });
    QObject::connect(aboutQt, &QPushButton::clicked, window, [window] { QMessageBox::aboutQt(window); });
    QObject::connect(buttons, &QDialogButtonBox::rejected, window, &QDialog::reject);

    auto *side = new QVBoxLayout;
    side->addWidget(title);
    side->addWidget(text, 1);
    auto *row = new QHBoxLayout;
    row->addWidget(icon);
    row->addLayout(side, 1);
    row->setSpacing(16);
    auto *layout = new QVBoxLayout(window);
    layout->addLayout(row);
    layout->addWidget(buttons);
    window->setMinimumWidth(460);
    return window;
}
