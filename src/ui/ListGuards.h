#pragma once

class QComboBox;

namespace qt2xx {

// A wheel turned over a closed list that the operator has not entered would pick another item
// unseen; a list changes only when the operator picks an item.
void GuardAgainstStrayWheel(QComboBox* box);

// A narrow list cuts its chosen text short; asked for its tooltip, it shows the whole text.
void ShowWholeChoiceAsToolTip(QComboBox* list);

} // namespace qt2xx
