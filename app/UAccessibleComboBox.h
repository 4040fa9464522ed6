// What a screen reader gets for a drop-down list without typing: the name the program gave it
// ("File types lists") and its current entry as its value. Qt's own interface names such a
// list after its current entry, so the user hears "Docs" and never learns what it is for.
#pragma once

namespace qm {

// Makes every non-editable QComboBox answer with its accessible name (else its label's text).
// Idempotent; needs the application object.
void InstallAccessibleComboBox();

}  // namespace qm
