#pragma once
// Containers made in bulk: a parse builds thousands of small dictionaries and arrays at once, and each
// container's shared handle (its reference counts and the container itself) would otherwise be an
// allocation of its own, made one by one and freed one by one. Within a scope, the handles come from a
// few large blocks instead, and the blocks are given back together when the last container made from
// them goes, on whatever thread that happens (the largest ones are kept, up to a bound, for the next
// scope). Only the handles live there: a container's items are its own
// allocation, so a container that grows, shrinks or is copied later behaves as any other.
//
// The price: the blocks stay while any container made in the scope lives (a kept sub-dictionary of a
// large reply keeps the handles of the whole reply, though not their items).

namespace ValueArena {

struct Blocks;

// While a scope lives, the dictionaries and arrays made on its thread (Value::dictionaryWithItems,
// Value::dictionary, Value(ArrayItems), Value::array) take their handles from the scope's blocks.
// A scope covers only its own thread; an inner scope covers its thread until it ends.
class Scope {
public:
    Scope();
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

    // The blocks, made when the first handle is.
    Blocks* blocks();

private:
    Blocks* blocks_ = nullptr;
    Scope* outer_;
};

}  // namespace ValueArena
