#include "app/UAccessibleComboBox.h"

#include <QAccessibleWidget>
#include <QComboBox>

namespace qm {

namespace {

class TAccessibleComboBox : public QAccessibleWidget {
  public:
    explicit TAccessibleComboBox(QComboBox* Combo)
        : QAccessibleWidget(Combo, QAccessible::ComboBox) {}

    QString text(QAccessible::Text Kind) const override {
        auto* combo = static_cast<QComboBox*>(widget());
        if (Kind == QAccessible::Value) return combo->currentText();
        return QAccessibleWidget::text(Kind);
    }
};

QAccessibleInterface* ComboBoxFactory(const QString& ClassName, QObject* Object) {
    if (ClassName != QLatin1String("QComboBox")) return nullptr;
    auto* combo = qobject_cast<QComboBox*>(Object);
    // An editable list is named by its text field, as Qt does it. (Qt asks while the list is
    // being built, before it has a name: the name is therefore looked up on every question.)
    if (!combo || combo->isEditable()) return nullptr;
    return new TAccessibleComboBox(combo);
}

}  // namespace

void InstallAccessibleComboBox() {
    static const bool installed = [] {
        QAccessible::installFactory(ComboBoxFactory);
        return true;
    }();
    (void)installed;
}

}  // namespace qm
