// The COM plumbing every object of this project shares, so that no class
// writes IUnknown or IDispatch by hand:
//
//   ComPtr<T>      owns one reference to an interface and releases it.
//   ComObject<I, IID_I, ComInterface<J, IID_J>...>
//                  a reference-counted object implementing interface I:
//                  AddRef/Release (atomic; the last Release deletes it) and
//                  QueryInterface for IUnknown, I and, when I derives from
//                  it, IDispatch. Derive from it and implement I's own
//                  operations. Further interfaces J an object offers are
//                  listed after I; QueryInterface answers them too, and
//                  IUnknown always comes from I, so that every interface
//                  of the object gives the same identity.
//   DispatchObject<I, IID_I, ComInterface<J, IID_J>...>
//                  the same for a dual interface, with the IDispatch
//                  operations answered alike everywhere: no type
//                  information (GetTypeInfoCount gives S_OK and 0), no late
//                  binding (E_NOTIMPL).
//
// ClassFactory and ClassRegistration (platform/classfactory.h) build on
// them.
//
// An object starts with the references given to its constructor: 1 for an
// object its creator owns, 0 for one handed straight to a class factory.
#pragma once

#include <atomic>
#include <cstddef>
#include <type_traits>
#include <utility>

#include "platform/com.h"

template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    ~ComPtr() { reset(); }
    ComPtr(const ComPtr& other) : p_(other.p_) {
        if (p_) p_->AddRef();
    }
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }

    // Takes over a reference the caller owns (a new object, an out
    // parameter already filled).
    static ComPtr adopt(T* p) {
        ComPtr ptr;
        ptr.p_ = p;
        return ptr;
    }
    // Adds a reference of its own.
    static ComPtr share(T* p) {
        if (p) p->AddRef();
        return adopt(p);
    }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    T& operator*() const { return *p_; }
    explicit operator bool() const { return p_ != nullptr; }

    // Releases the reference held.
    void reset() {
        if (T* p = std::exchange(p_, nullptr)) p->Release();
    }
    // Gives up the reference without releasing it.
    T* detach() { return std::exchange(p_, nullptr); }
    // For out parameters: releases what is held and returns the slot.
    T** put() {
        reset();
        return &p_;
    }
    void** putVoid() { return reinterpret_cast<void**>(put()); }

    // QueryInterface for `iid` into `out`.
    template <typename U>
    HRESULT queryInto(REFIID iid, ComPtr<U>* out) const {
        if (!p_) return E_POINTER;
        return p_->QueryInterface(iid, out->putVoid());
    }

private:
    T* p_ = nullptr;
};

// Names a further interface of a ComObject, with its IID.
template <typename I, const IID& Iid>
struct ComInterface {
    using Interface = I;
    static constexpr const IID& iid = Iid;
};

template <typename Interface, const IID& Iid, typename... Also>
class ComObject : public Interface, public Also::Interface... {
public:
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        if (iid == IID_IUnknown || iid == Iid ||
            (std::is_base_of_v<IDispatch, Interface> && iid == IID_IDispatch)) {
            *object = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        if (((iid == Also::iid && (*object = static_cast<typename Also::Interface*>(this), true)) ||
             ...)) {
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++references_; }
    ULONG Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

    ULONG RefCount() const { return references_; }

protected:
    explicit ComObject(ULONG references = 1) : references_(references) {}
    virtual ~ComObject() = default;

private:
    std::atomic<ULONG> references_;
};

template <typename Interface, const IID& Iid, typename... Also>
class DispatchObject : public ComObject<Interface, Iid, Also...> {
public:
    HRESULT GetTypeInfoCount(uint32_t* count) override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(uint32_t, uint32_t, ITypeInfo** info) override {
        if (info) *info = nullptr;
        return E_NOTIMPL;
    }
    HRESULT GetIDsOfNames(REFIID, OLECHAR**, uint32_t, uint32_t, int32_t*) override {
        return E_NOTIMPL;
    }
    HRESULT Invoke(int32_t, REFIID, uint32_t, uint16_t, void*, void*, void*, uint32_t*) override {
        return E_NOTIMPL;
    }

protected:
    using ComObject<Interface, Iid, Also...>::ComObject;
};
