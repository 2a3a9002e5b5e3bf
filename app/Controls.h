// The few controls the main window needs beyond the stock widgets:
// a latching speed button with group semantics, a radio group with an item
// index, and an edit that reports when the user leaves it.
#pragma once

#include <QGroupBox>
#include <QLineEdit>
#include <QStringList>
#include <QToolButton>

#include <vector>

class QRadioButton;

// A latching button. GroupIndex 0 is a plain push button. Latching a button
// with a non-zero GroupIndex by a click releases every latched button of the
// same GroupIndex under the same parent; setChecked(true) latches it alone.
// With AllowAllUp a click on a latched button releases it; without, it stays latched.
class TSpeedButton : public QToolButton
{
    Q_OBJECT
    Q_PROPERTY(int GroupIndex READ GroupIndex WRITE setGroupIndex)
    Q_PROPERTY(bool AllowAllUp READ AllowAllUp WRITE setAllowAllUp)

public:
    explicit TSpeedButton(QWidget *parent = nullptr);

    int GroupIndex() const { return m_groupIndex; }
    void setGroupIndex(int v);
    bool AllowAllUp() const { return m_allowAllUp; }
    void setAllowAllUp(bool v) { m_allowAllUp = v; }

protected:
    void nextCheckState() override;

private:
    void ReleaseSiblings();

    int m_groupIndex = 0;
    bool m_allowAllUp = false;
};

// A group box of radio buttons, one per item, with at most one selected.
// ItemIndex is -1 when nothing is selected; writing it limits the value to
// -1 .. last item. Selecting a different item (by the user or by ItemIndex)
// emits Click; clearing the selection does not.
class TRadioGroup : public QGroupBox
{
    Q_OBJECT
    Q_PROPERTY(QStringList Items READ Items WRITE setItems)
    Q_PROPERTY(int ItemIndex READ ItemIndex WRITE setItemIndex)

public:
    explicit TRadioGroup(QWidget *parent = nullptr);

    QStringList Items() const { return m_items; }
    void setItems(const QStringList &items);
    int ItemIndex() const { return m_itemIndex; }
    void setItemIndex(int index);
    QRadioButton *Button(int index) const;

signals:
    void Click();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void ButtonClicked(int index);
    void ShowSelection();
    void ArrangeButtons();

    QStringList m_items;
    std::vector<QRadioButton *> m_buttons;
    int m_itemIndex = -1;
};

// A line edit that emits Exit when the focus moves to another control of the
// window (not when the window itself loses the focus), whether or not the
// text changed.
class TEdit : public QLineEdit
{
    Q_OBJECT

public:
    explicit TEdit(QWidget *parent = nullptr) : QLineEdit(parent) {}

    // Shows the whole text even when it is longer than the typing limit
    // (maxLength), which would otherwise cut it; a text that fits restores the limit.
    void SetText(const QString &text);

signals:
    void Exit();

protected:
    void focusOutEvent(QFocusEvent *event) override;

private:
    int m_typingLimit = -1;
};
