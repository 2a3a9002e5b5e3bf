#include "Controls.h"

#include <QEvent>
#include <QFocusEvent>
#include <QRadioButton>

#include <algorithm>

// ---- TSpeedButton -------------------------------------------------------------------

TSpeedButton::TSpeedButton(QWidget *parent) : QToolButton(parent)
{
    // Speed buttons never take the focus, so clicking one does not end an edit.
    setFocusPolicy(Qt::NoFocus);
}

void TSpeedButton::setGroupIndex(int v)
{
    m_groupIndex = v;
    setCheckable(v != 0);
}

void TSpeedButton::nextCheckState()
{
    if (isChecked() && !m_allowAllUp)
        return;
    QToolButton::nextCheckState();
    // Only a click releases the siblings: a latch set by the program (the settings
    // read after opening) must not withdraw a request the technician made.
    if (isChecked())
        ReleaseSiblings();
}

void TSpeedButton::ReleaseSiblings()
{
    if (m_groupIndex == 0 || !parentWidget())
        return;
    const auto siblings = parentWidget()->findChildren<TSpeedButton *>(Qt::FindDirectChildrenOnly);
    for (TSpeedButton *b : siblings)
        if (b != this && b->m_groupIndex == m_groupIndex && b->isChecked())
            b->setChecked(false);
}

// ---- TRadioGroup --------------------------------------------------------------------

TRadioGroup::TRadioGroup(QWidget *parent) : QGroupBox(parent) {}

void TRadioGroup::setItems(const QStringList &items)
{
    if (items.size() == static_cast<qsizetype>(m_buttons.size())) {
        // Same count (a retranslation): only the texts change.
        m_items = items;
        for (size_t i = 0; i < m_buttons.size(); ++i)
            m_buttons[i]->setText(items.at(static_cast<qsizetype>(i)));
        return;
    }
    for (QRadioButton *b : m_buttons)
        delete b;
    m_buttons.clear();
    m_items = items;
    for (qsizetype i = 0; i < items.size(); ++i) {
        auto *b = new QRadioButton(items.at(i), this);
        const int index = static_cast<int>(i);
        connect(b, &QAbstractButton::clicked, this, [this, index] { ButtonClicked(index); });
        m_buttons.push_back(b);
        b->show();
    }
    if (m_itemIndex >= static_cast<int>(m_buttons.size()))
        m_itemIndex = static_cast<int>(m_buttons.size()) - 1;
    ShowSelection();
    ArrangeButtons();
}

void TRadioGroup::setItemIndex(int index)
{
    index = std::clamp(index, -1, static_cast<int>(m_buttons.size()) - 1);
    if (index == m_itemIndex)
        return;
    m_itemIndex = index;
    ShowSelection();
    if (m_itemIndex >= 0)
        emit Click();
}

QRadioButton *TRadioGroup::Button(int index) const
{
    if (index < 0 || index >= static_cast<int>(m_buttons.size()))
        return nullptr;
    return m_buttons[static_cast<size_t>(index)];
}

void TRadioGroup::ButtonClicked(int index)
{
    if (index == m_itemIndex)
        return;
    m_itemIndex = index;
    ShowSelection();
    emit Click();
}

void TRadioGroup::ShowSelection()
{
    for (size_t i = 0; i < m_buttons.size(); ++i) {
        QRadioButton *b = m_buttons[i];
        const bool selected = static_cast<int>(i) == m_itemIndex;
        if (b->isChecked() == selected)
            continue;
        // An exclusive radio button cannot be unchecked directly.
        b->setAutoExclusive(false);
        b->setChecked(selected);
        b->setAutoExclusive(true);
    }
}

// Items in one column, spread evenly below the caption.
void TRadioGroup::ArrangeButtons()
{
    const int count = static_cast<int>(m_buttons.size());
    if (count == 0)
        return;
    const int textHeight = fontMetrics().height();
    const int room = std::max(0, height() - textHeight - 5);
    const int buttonHeight = room / count;
    const int topMargin = textHeight + 1 + (room % count) / 2;
    for (int i = 0; i < count; ++i)
        m_buttons[static_cast<size_t>(i)]->setGeometry(8, i * buttonHeight + topMargin, width() - 10, buttonHeight);
}

void TRadioGroup::resizeEvent(QResizeEvent *event)
{
    QGroupBox::resizeEvent(event);
    ArrangeButtons();
}

void TRadioGroup::changeEvent(QEvent *event)
{
    QGroupBox::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        ArrangeButtons();
}

// ---- TEdit ------------------------------------------------------------------------------

void TEdit::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    if (event->reason() != Qt::ActiveWindowFocusReason && event->reason() != Qt::PopupFocusReason)
        emit Exit();
}

void TEdit::SetText(const QString &text)
{
    if (m_typingLimit < 0)
        m_typingLimit = maxLength();
    setMaxLength(std::max(m_typingLimit, static_cast<int>(text.size())));
    setText(text);
}
