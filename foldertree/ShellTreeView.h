// The folder tree as the program's forms place it: the control with its published defaults.
#pragma once

#include "foldertree/CustomShellTreeView.h"

namespace qm {

class TShellTreeView : public TCustomShellTreeView {
    Q_OBJECT

  public:
    explicit TShellTreeView(QWidget* Parent = nullptr,
                            std::shared_ptr<TCustomShellController> Controller = nullptr);
};

}  // namespace qm
