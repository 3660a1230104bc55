// Reference-counted automation objects and the intrusive owner that holds them.
// Every object a script or the component can reach derives from Object; release at the last
// reference is deterministic (the destructor runs inside the Release that drops the count to zero).
#pragma once

#include <atomic>
#include <cstdint>
#include <utility>

namespace orvan::com {

struct TypeInfo;

class Object {
public:
    Object() noexcept;
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;
    virtual ~Object();

    void AddRef() noexcept { refs_.fetch_add(1, std::memory_order_relaxed); }
    // Drops one reference; destroys the object when it was the last one.
    void Release() noexcept;
    std::uint32_t refCount() const noexcept { return refs_.load(std::memory_order_relaxed); }

    // The member table through which late-bound callers reach this object.
    virtual const TypeInfo& typeInfo() const = 0;

    // Number of automation objects alive in this process (what DllCanUnloadNow asks).
    static std::int64_t liveObjects() noexcept;

private:
    std::atomic<std::uint32_t> refs_{0};
};

// Intrusive owner: copy adds a reference, destruction releases it.
template <typename T>
class ComPtr {
public:
    ComPtr() noexcept = default;
    ComPtr(std::nullptr_t) noexcept {}
    explicit ComPtr(T* p) noexcept : p_(p) {
        if (p_) p_->AddRef();
    }
    ComPtr(const ComPtr& o) noexcept : ComPtr(o.p_) {}
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    template <typename U>
    ComPtr(const ComPtr<U>& o) noexcept : ComPtr(static_cast<T*>(o.get())) {}
    ~ComPtr() { reset(); }

    ComPtr& operator=(const ComPtr& o) noexcept {
        ComPtr(o).swap(*this);
        return *this;
    }
    ComPtr& operator=(ComPtr&& o) noexcept {
        ComPtr(std::move(o)).swap(*this);
        return *this;
    }
    ComPtr& operator=(std::nullptr_t) noexcept {
        reset();
        return *this;
    }

    // Releases the held reference (if any). The pointer is cleared before the release so that a
    // destructor running inside it sees this owner as already empty.
    void reset() noexcept {
        if (T* p = std::exchange(p_, nullptr)) p->Release();
    }
    void swap(ComPtr& o) noexcept { std::swap(p_, o.p_); }

    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    T& operator*() const noexcept { return *p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    friend bool operator==(const ComPtr& a, const ComPtr& b) noexcept { return a.p_ == b.p_; }

    // The object as another type of the hierarchy, or null when it is not one.
    template <typename U>
    ComPtr<U> as() const noexcept {
        return ComPtr<U>(dynamic_cast<U*>(p_));
    }

private:
    T* p_ = nullptr;
};

// Creates an object and hands back its first owner.
template <typename T, typename... Args>
ComPtr<T> make(Args&&... args) {
    return ComPtr<T>(new T(std::forward<Args>(args)...));
}

}  // namespace orvan::com
