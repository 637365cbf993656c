#include "ui/ListGuards.h"

#include <QComboBox>
#include <QHelpEvent>
#include <QToolTip>

namespace qt2xx {
namespace {

class WheelOnlyWhenFocused : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Wheel && !static_cast<QWidget*>(watched)->hasFocus()) {
            event->ignore();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }
};

class ChoiceToolTip : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::ToolTip)
            return QObject::eventFilter(watched, event);
        auto* list = static_cast<QComboBox*>(watched);
        if (list->currentText().isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), list->currentText(), list);
        return true;
    }
};

} // namespace

void GuardAgainstStrayWheel(QComboBox* box) {
    box->setFocusPolicy(Qt::StrongFocus);
    box->installEventFilter(new WheelOnlyWhenFocused(box));
}

void ShowWholeChoiceAsToolTip(QComboBox* list) {
    list->installEventFilter(new ChoiceToolTip(list));
}

} // namespace qt2xx
