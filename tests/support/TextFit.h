// Texts that do not fit where they are shown: a label, button, check box,
// group box title, tab or header whose text is wider than the room it has.
// A translation longer than the source is what clips; each window's test asks
// for an empty list in every language.
#pragma once

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QRadioButton>
#include <QStringList>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTabBar>
#include <QTextDocument>
#include <QWidget>

namespace textfit {

inline QString Describe(const QWidget *w, const QString &text, int need, int have)
{
    return QStringLiteral("%1 %2: \"%3\" needs %4 px, has %5").arg(QString::fromLatin1(w->metaObject()->className()),
                                                                     w->objectName(), text, QString::number(need),
                                                                     QString::number(have));
}

// The widest line of a plain text, mnemonic ampersands left out.
inline int TextWidth(const QFontMetrics &fm, QString text)
{
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01")).remove(QLatin1Char('&')).replace(QLatin1Char('\x01'), QLatin1Char('&'));
    int widest = 0;
    for (const QString &line : text.split(QLatin1Char('\n')))
        widest = std::max(widest, fm.horizontalAdvance(line));
    return widest;
}

inline void CheckLabel(const QLabel *l, QStringList &out)
{
    if (l->wordWrap() || l->text().isEmpty() || !l->pixmap().isNull())
        return;
    const int margins = 2 * l->margin() + std::max(l->indent(), 0);
    const int have = l->contentsRect().width() - margins;
    int need = 0;
    if (Qt::mightBeRichText(l->text())) {
        QTextDocument doc;
        doc.setDefaultFont(l->font());
        doc.setDocumentMargin(0);
        doc.setHtml(l->text());
        need = static_cast<int>(doc.idealWidth());
    } else {
        need = TextWidth(l->fontMetrics(), l->text());
    }
    if (need > have)
        out << Describe(l, l->text(), need, have);
}

inline void CheckButton(const QAbstractButton *b, QStringList &out)
{
    if (b->text().isEmpty())
        return;
    int need = 0;
    if (qobject_cast<const QCheckBox *>(b) || qobject_cast<const QRadioButton *>(b)) {
        need = b->sizeHint().width(); // indicator, spacing and text
    } else {
        const int margin = b->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, b);
        const int frame = b->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, b);
        need = TextWidth(b->fontMetrics(), b->text()) + margin + 2 * frame;
        if (!b->icon().isNull())
            need += b->iconSize().width() + 4;
    }
    if (need > b->width())
        out << Describe(b, b->text(), need, b->width());
}

inline void CheckGroupBox(const QGroupBox *g, QStringList &out)
{
    if (g->title().isEmpty())
        return;
    int need = TextWidth(g->fontMetrics(), g->title()) + 2 * g->fontMetrics().averageCharWidth();
    if (g->isCheckable())
        need += g->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, g) + 6;
    if (need > g->width())
        out << Describe(g, g->title(), need, g->width());
}

inline void CheckTabs(const QTabBar *t, QStringList &out)
{
    for (int i = 0; i < t->count(); ++i) {
        const int need = TextWidth(t->fontMetrics(), t->tabText(i));
        if (t->isTabVisible(i) && need > t->tabRect(i).width())
            out << Describe(t, t->tabText(i), need, t->tabRect(i).width());
    }
}

inline void CheckHeader(const QHeaderView *h, QStringList &out)
{
    const QAbstractItemModel *m = h->model();
    if (!m || h->orientation() != Qt::Horizontal)
        return;
    for (int i = 0; i < m->columnCount(); ++i) {
        if (h->isSectionHidden(i))
            continue;
        const QString text = m->headerData(i, Qt::Horizontal).toString();
        const int need = TextWidth(h->fontMetrics(), text);
        if (!text.isEmpty() && need > h->sectionSize(i))
            out << Describe(h, text, need, h->sectionSize(i)) + QStringLiteral(" (column %1)").arg(i);
    }
}

inline void CheckCombo(const QComboBox *c, QStringList &out)
{
    if (c->isEditable() || c->currentText().isEmpty())
        return;
    QStyleOptionComboBox opt;
    opt.initFrom(c);
    const int have = c->style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, c).width();
    const int need = TextWidth(c->fontMetrics(), c->currentText());
    if (need > have)
        out << Describe(c, c->currentText(), need, have);
}

} // namespace textfit

// Every text under root (root included) that is shown cut off. Widgets hidden
// under root are left out; root itself need not be shown yet, but its layout
// should have run (show it, or call adjustSize()).
inline QStringList ClippedTexts(QWidget *root)
{
    QStringList out;
    QList<QWidget *> widgets = root->findChildren<QWidget *>();
    widgets.prepend(root);
    for (QWidget *w : widgets) {
        if (w != root && !w->isVisibleTo(root))
            continue;
        if (auto *l = qobject_cast<QLabel *>(w))
            textfit::CheckLabel(l, out);
        else if (auto *b = qobject_cast<QAbstractButton *>(w))
            textfit::CheckButton(b, out);
        else if (auto *g = qobject_cast<QGroupBox *>(w))
            textfit::CheckGroupBox(g, out);
        else if (auto *t = qobject_cast<QTabBar *>(w))
            textfit::CheckTabs(t, out);
        else if (auto *h = qobject_cast<QHeaderView *>(w))
            textfit::CheckHeader(h, out);
        else if (auto *c = qobject_cast<QComboBox *>(w))
            textfit::CheckCombo(c, out);
    }
    return out;
}
