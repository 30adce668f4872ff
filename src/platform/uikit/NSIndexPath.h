#pragma once
// Index paths of table rows: a section and a row. They are objects (a method may answer nil, and
// screens keep them), compared by value with isEqual or compare.
#include <string>

#include "platform/foundation/NSObjCRuntime.h"
#include "platform/foundation/NSObject.h"

class NSIndexPath : public NSObject {
public:
    // +[NSIndexPath indexPathForRow:inSection:]
    static Ref<NSIndexPath> indexPathForRow_inSection(NSInteger row, NSInteger section);

    NSInteger section() const { return section_; }
    NSInteger row() const { return row_; }
    NSUInteger length() const { return 2; }
    // Position 0 is the section, 1 the row.
    NSUInteger indexAtPosition(NSUInteger position) const;

    // By section, then row.
    NSComparisonResult compare(const Ref<NSIndexPath>& other) const;
    bool isEqual(const NSObject* other) const override;
    // "<NSIndexPath 0x...> 2 indexes [section, row]" in the platform's form, with the address left out.
    std::string description() const override;

    NSIndexPath(NSInteger section, NSInteger row) : section_(section), row_(row) {}

private:
    NSInteger section_;
    NSInteger row_;
};

// Value equality of two possibly-nil index paths (two nils are equal).
bool NSIndexPathEqual(const Ref<NSIndexPath>& a, const Ref<NSIndexPath>& b);
// Ordering for sorted containers and std::sort.
struct NSIndexPathLess {
    bool operator()(const Ref<NSIndexPath>& a, const Ref<NSIndexPath>& b) const;
};
