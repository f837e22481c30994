#pragma once

class QCoreApplication;

namespace quorva::ui {

// The toolkit's own texts (an edit field's context menu, standard buttons)
// in Brazilian Portuguese, like the rest of the window. True when Qt's
// translation was found; without it those texts stay in English.
bool installToolkitTranslations(QCoreApplication& app);

} // namespace quorva::ui
