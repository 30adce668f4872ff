#pragma once
// SquareVC (stand-in until the square lands): getData asks the service for the square's lists.
#include "api/PZViewController.h"

class SquareVC : public PZViewController {
public:
    static Ref<SquareVC> create();

    bool isRoot() const { return isRoot_; }
    void setIsRoot(bool isRoot) { isRoot_ = isRoot; }
    void getData();

    SquareVC() = default;

private:
    bool isRoot_ = false;
};
