#pragma once
// Interface files (nibs): a registry of C++ factories by file name. A factory builds the file's
// objects, connects outlets and actions (to the owner too: the file's owner is whoever loads it) and
// returns the top-level objects in the file's fixed order; loading then calls awakeFromNib once on
// every object the file made (top-level objects and those the factory made through the builder),
// in the order they were made, after all connections are done.
//
// Modules register their files at start-up, from an explicit registration function (a static
// initialiser in a library would not be linked in):
//     UINibRegistry::registerNib("Share", [](UINibBuilder& nib) {
//         auto owner = nib.owner<ShareController>();
//         auto root = nib.view<UIView>(CGRectMake(0, 0, 320, 460));
//         auto input = nib.view<UITextView>(CGRectMake(10, 10, 300, 100));
//         root->addSubview(input);
//         owner->setView(root);
//         owner->input = input;
//         return std::vector<Ref<NSObject>>{root};
//     });
// A file holding views of several modules (the shared "CommonViews") is registered object by
// object at its index by the module that owns each object (registerObject); its top-level objects
// are then the registered ones in index order, with a plain empty view standing at each index below
// the highest that no module registered, so that indexes keep their meaning. A name registered whole
// uses its whole factory.
//
// Loading a file that is not registered throws NSInternalInconsistencyException ("Could not load NIB
// in bundle: ... with name '...'"), as the phone does.
#include <functional>
#include <string>
#include <vector>

#include "platform/foundation/Value.h"
#include "platform/uikit/UIView.h"

class NSBundle;

// What a factory is given: the owner and the options, and a place to record the objects it makes.
class UINibBuilder {
public:
    UINibBuilder(Ref<NSObject> owner, Value options) : owner_(std::move(owner)), options_(std::move(options)) {}

    const Ref<NSObject>& owner() const { return owner_; }
    template <class T>
    Ref<T> owner() const
    {
        return std::dynamic_pointer_cast<T>(owner_);
    }
    const Value& options() const { return options_; }

    // Records an object of the file (it will hear awakeFromNib); answers it.
    template <class T>
    Ref<T> add(Ref<T> object)
    {
        made_.push_back(object);
        return object;
    }
    // Makes a view of the file in a frame (initWithFrame), recorded.
    template <class T>
    Ref<T> view(CGRect frame)
    {
        return add(UIView::makeWithFrame<T>(frame));
    }

    const std::vector<Ref<NSObject>>& made() const { return made_; }

private:
    Ref<NSObject> owner_;
    Value options_;
    std::vector<Ref<NSObject>> made_;
};

using UINibFactory = std::function<std::vector<Ref<NSObject>>(UINibBuilder& nib)>;
using UINibObjectFactory = std::function<Ref<NSObject>(UINibBuilder& nib)>;

class UINibRegistry {
public:
    // Registers (or replaces) the factory of a whole file.
    static void registerNib(const std::string& name, UINibFactory factory);
    // Registers (or replaces) the factory of the top-level object at an index of a shared file.
    static void registerObject(const std::string& name, size_t index, UINibObjectFactory factory);
    static bool hasNib(const std::string& name);
    // Forgets a file (for tests).
    static void unregisterNib(const std::string& name);
    // Builds the file's objects for an owner: the top-level objects, awakened.
    static std::vector<Ref<NSObject>> instantiate(const std::string& name, const Ref<NSObject>& owner,
                                                  const Value& options = Value());
};

class UINib : public NSObject {
public:
    static Ref<UINib> nibWithNibName_bundle(const std::string& name, const Ref<NSBundle>& bundle);
    std::vector<Ref<NSObject>> instantiateWithOwner_options(const Ref<NSObject>& owner,
                                                            const Value& options = Value()) const;
    const std::string& name() const { return name_; }

    UINib() = default;

private:
    std::string name_;
};

// -[NSBundle loadNibNamed:owner:options:], the UIKit category of bundles.
namespace UINibLoadingAdditions {
std::vector<Ref<NSObject>> loadNibNamed_owner_options(const Ref<NSBundle>& bundle, const std::string& name,
                                                      const Ref<NSObject>& owner, const Value& options = Value());
}  // namespace UINibLoadingAdditions
