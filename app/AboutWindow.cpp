// About: what the tool is, its own version (the title bar shows the
// instrument's firmware, which people take for it), the licence and the Qt it
// runs on; "Copy" puts the facts a bug report wants on the clipboard (in
// English, for whoever reads the report); the language is chosen here too.
#include "Main.h"
#include "Tools.h"

#include <kv508/Version.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
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

class TAboutWindow : public QDialog
{
public:
    explicit TAboutWindow(TForm1 &form);

protected:
    void changeEvent(QEvent *event) override
    {
        if (event->type() == QEvent::LanguageChange)
            Retranslate();
        QDialog::changeEvent(event);
    }

private:
    void Retranslate();

    QLabel *m_title = nullptr;
    QLabel *m_text = nullptr;
    QLabel *m_languageLabel = nullptr;
    QComboBox *m_language = nullptr;
    QPushButton *m_copy = nullptr;
    QPushButton *m_aboutQt = nullptr;
    QPushButton *m_close = nullptr;
};

TAboutWindow::TAboutWindow(TForm1 &form) : QDialog(&form)
{
    setObjectName(QStringLiteral("AboutWindow"));

    auto *icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("Label_AboutIcon"));
    QIcon appIcon = QIcon::fromTheme(QStringLiteral(KV508_APP_ID));
    if (appIcon.isNull())
        appIcon = QApplication::windowIcon();
    if (!appIcon.isNull())
        icon->setPixmap(appIcon.pixmap(64, 64));
    icon->setAlignment(Qt::AlignTop);

    m_title = new QLabel(this);
    m_title->setObjectName(QStringLiteral("Label_AboutVersion"));
    m_title->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_text = new QLabel(this);
    m_text->setObjectName(QStringLiteral("Label_AboutText"));
    m_text->setWordWrap(true);
    m_text->setOpenExternalLinks(true);
    m_text->setTextInteractionFlags(Qt::TextBrowserInteraction);

    // Each language under its own name, as on the window's right-click menu.
    m_languageLabel = new QLabel(this);
    m_language = new QComboBox(this);
    m_language->setObjectName(QStringLiteral("Combo_AboutLanguage"));
    m_language->addItem(Language::NativeName(Language::TLanguage::Hungarian));
    m_language->addItem(Language::NativeName(Language::TLanguage::English));
    m_languageLabel->setBuddy(m_language);
    TToolWindows *tools = form.Tools();
    connect(m_language, &QComboBox::activated, this, [tools](int index) {
        tools->ChooseLanguage(index == 0 ? Language::TLanguage::Hungarian : Language::TLanguage::English);
    });

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    m_close = buttons->button(QDialogButtonBox::Close);
    m_copy = buttons->addButton(QString(), QDialogButtonBox::ActionRole);
    m_copy->setObjectName(QStringLiteral("Button_AboutCopy"));
    m_aboutQt = buttons->addButton(QString(), QDialogButtonBox::ActionRole);
    connect(m_copy, &QPushButton::clicked, this, [] { QGuiApplication::clipboard()->setText(Facts()); });
    connect(m_aboutQt, &QPushButton::clicked, this, [this] { QMessageBox::aboutQt(this); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *language = new QHBoxLayout;
    language->addWidget(m_languageLabel);
    language->addWidget(m_language);
    language->addStretch(1);
    auto *side = new QVBoxLayout;
    side->addWidget(m_title);
    side->addWidget(m_text, 1);
    side->addLayout(language);
    auto *row = new QHBoxLayout;
    row->addWidget(icon);
    row->addLayout(side, 1);
    row->setSpacing(16);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);
    setMinimumWidth(460);
    Retranslate();
}

void TAboutWindow::Retranslate()
{
    setWindowTitle(QCoreApplication::translate("TAboutWindow", "About KV508 I Configuration"));
    m_title->setText(QCoreApplication::translate("TAboutWindow",
                                                 "<b style=\"font-size:large\">KV508 I Configuration</b><br>Version %1")
                         .arg(QStringLiteral(KV508_VERSION)));
    m_text->setText(
        QCoreApplication::translate(
            "TAboutWindow",
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
    m_languageLabel->setText(QCoreApplication::translate("TAboutWindow", "&Language:"));
    m_language->setCurrentIndex(Language::Current() == Language::TLanguage::Hungarian ? 0 : 1);
    m_language->setToolTip(
        QCoreApplication::translate("TAboutWindow", "The language of every window; remembered for the next start"));
    m_copy->setText(QCoreApplication::translate("TAboutWindow", "&Copy"));
    m_copy->setToolTip(QCoreApplication::translate("TAboutWindow", "Copy the versions, for a bug report"));
    m_aboutQt->setText(QCoreApplication::translate("TAboutWindow", "About &Qt"));
    m_close->setText(QCoreApplication::translate("TAboutWindow", "Close"));
}

} // namespace

QWidget *MakeAboutWindow(TForm1 &form)
{
    return new TAboutWindow(form);
}
