#pragma once
// Reference-counted sharing of heap objects such as parsed listing entries.
// The count is deliberately a plain integer: a pointer and its copies stay on one thread.
#include <cstdint>

namespace nsSP {

class RCObject {
public:
    RCObject() = default;
    RCObject(const RCObject&) : refCount(0) {}
    RCObject& operator=(const RCObject&) { return *this; }
    virtual ~RCObject() = default;

    void AddReference() { ++refCount; }
    void RemoveReference()
    {
        if (--refCount == 0) delete this;
    }
    std::int32_t ReferenceCount() const { return refCount; }

private:
    std::int32_t refCount = 0;
};

template <class T> class RCIPtr {
public:
    class CountHolder : public RCObject {
    public:
        explicit CountHolder(T* object) : pointee(object) {}
        ~CountHolder() override { delete pointee; }
        CountHolder(const CountHolder&) = delete;
        CountHolder& operator=(const CountHolder&) = delete;
        T* pointee;
    };

    RCIPtr() = default;
    explicit RCIPtr(T* object) : counter(object ? new CountHolder(object) : nullptr) { Acquire(); }
    RCIPtr(const RCIPtr& other) : counter(other.counter) { Acquire(); }
    RCIPtr(RCIPtr&& other) noexcept : counter(other.counter) { other.counter = nullptr; }
    ~RCIPtr() { Release(); }

    RCIPtr& operator=(const RCIPtr& other)
    {
        if (counter != other.counter) {
            Release();
            counter = other.counter;
            Acquire();
        }
        return *this;
    }
    RCIPtr& operator=(RCIPtr&& other) noexcept
    {
        if (this != &other) {
            Release();
            counter = other.counter;
            other.counter = nullptr;
        }
        return *this;
    }

    T* get() const { return counter ? counter->pointee : nullptr; }
    T* operator->() const { return get(); }
    T& operator*() const { return *get(); }
    explicit operator bool() const { return counter != nullptr; }
    std::int32_t UseCount() const { return counter ? counter->ReferenceCount() : 0; }

private:
    void Acquire()
    {
        if (counter) counter->AddReference();
    }
    void Release()
    {
        if (counter) counter->RemoveReference();
        counter = nullptr;
    }

    CountHolder* counter = nullptr;
};

} // namespace nsSP
