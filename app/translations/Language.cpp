#include "Language.h"

#include <QCoreApplication>
#include <QTranslator>

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

namespace Language {

namespace {

// One translation file per part of the tool (app/translations/kv508_<part>_<code>.ts).
constexpr std::array<const char *, 6> Parts = {"panel", "main", "monitor", "trend", "calibration", "guide"};

struct TLoaded {
    std::once_flag once;
    std::vector<std::unique_ptr<QTranslator>> translators;
    bool complete = false;
};

std::array<TLoaded, 2> &Loaded()
{
    static std::array<TLoaded, 2> loaded;
    return loaded;
}

// Loaded once per language, then only read: QTranslator::translate is const,
// so the certificate's thread and the window's may both use them.
TLoaded &Translators(TLanguage language)
{
    TLoaded &l = Loaded()[static_cast<size_t>(language)];
    std::call_once(l.once, [&l, language] {
        l.complete = true;
        for (const char *part : Parts) {
            auto t = std::make_unique<QTranslator>();
            const QString file = QStringLiteral(":/i18n/kv508_%1_%2.qm").arg(QLatin1String(part), Code(language));
            if (t->load(file))
                l.translators.push_back(std::move(t));
            else
                l.complete = false;
        }
    });
    return l;
}

std::atomic<TLanguage> &Installed()
{
    static std::atomic<TLanguage> installed{TLanguage::English};
    return installed;
}

// The translators on the application now (guarded: Apply may come from tests' threads).
std::mutex &InstallLock()
{
    static std::mutex lock;
    return lock;
}
std::vector<QTranslator *> &InstalledTranslators()
{
    static std::vector<QTranslator *> list;
    return list;
}

} // namespace

QString Code(TLanguage language)
{
    return language == TLanguage::Hungarian ? QStringLiteral("hu") : QStringLiteral("en");
}

std::optional<TLanguage> FromCode(const QString &code)
{
    const QString c = code.trimmed().toLower();
    if (c == QLatin1String("hu"))
        return TLanguage::Hungarian;
    if (c == QLatin1String("en"))
        return TLanguage::English;
    return std::nullopt;
}

QString NativeName(TLanguage language)
{
    return language == TLanguage::Hungarian ? QStringLiteral("Magyar") : QStringLiteral("English");
}

TLanguage FromLocale(const QLocale &locale)
{
    return locale.language() == QLocale::Hungarian ? TLanguage::Hungarian : TLanguage::English;
}

QLocale DesktopLocale()
{
    // The first of the languages the user reads, not the number locale: a
    // Hungarian desktop may well write numbers the English way.
    const QStringList languages = QLocale::system().uiLanguages();
    return languages.isEmpty() ? QLocale::system() : QLocale(languages.first());
}

TLanguage FromDesktop()
{
    return FromLocale(DesktopLocale());
}

TLanguage Current()
{
    return Installed().load();
}

bool Apply(TLanguage language)
{
    TLoaded &loaded = Translators(language);
    {
        const std::lock_guard<std::mutex> guard(InstallLock());
        for (QTranslator *t : InstalledTranslators())
            QCoreApplication::removeTranslator(t);
        InstalledTranslators().clear();
        Installed().store(language);
        // The locale first: the windows re-render their numbers on the
        // LanguageChange that installing the translators sends.
        QLocale::setDefault(language == TLanguage::English ? QLocale(QLocale::English, QLocale::UnitedStates)
                                                           : QLocale::system());
        for (const auto &t : loaded.translators) {
            QCoreApplication::installTranslator(t.get());
            InstalledTranslators().push_back(t.get());
        }
    }
    // Qt announces installed translators only while the event loop runs, and
    // nothing when none was installed: say it once more, so the windows (and
    // tests without a running loop) always hear of it. The widgets' copies are
    // posted and compressed, so they retranslate once.
    if (QCoreApplication::instance()) {
        QEvent change(QEvent::LanguageChange);
        QCoreApplication::sendEvent(QCoreApplication::instance(), &change);
    }
    return loaded.complete;
}

QString Translate(TLanguage language, const char *context, const char *source, int n)
{
    QString text;
    for (const auto &t : Translators(language).translators) {
        text = t->translate(context, source, nullptr, n);
        if (!text.isEmpty())
            break;
    }
    if (text.isEmpty())
        text = QString::fromUtf8(source);
    if (n >= 0)
        text.replace(QLatin1String("%n"), QString::number(n));
    return text;
}

} // namespace Language
