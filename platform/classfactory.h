// Pieces of a class server: counting of live objects and server locks
// (a module's DllCanUnloadNow answers from them) and the one class factory
// that the module and the hosts all use.
//
// The counters must belong to the module, not to the shared platform
// library that every module and the host load: instantiate ModuleCounter
// with a tag type of internal linkage in the module's own translation unit,
//
//     namespace { struct ThisModule {}; }
//     using Counter = ModuleCounter<ThisModule>;
//
// so that its static members are private to that module.
#pragma once

#include <atomic>
#include <functional>
#include <new>
#include <utility>

#include "platform/com.h"
#include "platform/comobject.h"
#include "platform/server.h"

template <typename ModuleTag>
class ModuleCounter {
public:
    static void ObjectCreated() { objects_.fetch_add(1); }
    static void ObjectDestroyed() { objects_.fetch_sub(1); }
    static void Lock() { locks_.fetch_add(1); }
    // A surplus unlock is ignored rather than let the count go negative and
    // report the module unloadable while objects still use it.
    static void Unlock() {
        LONG n = locks_.load();
        while (n > 0 && !locks_.compare_exchange_weak(n, n - 1)) {
        }
    }
    static LONG Objects() { return objects_.load(); }
    static LONG Locks() { return locks_.load(); }
    // True when the module's code is no longer needed by anyone.
    static bool CanUnload() { return objects_.load() == 0 && locks_.load() == 0; }

private:
    static inline std::atomic<LONG> objects_{0};
    static inline std::atomic<LONG> locks_{0};
};

// The counter of a server that never unloads, such as a host executable
// registering its own classes in its class table.
struct NoModuleCounter {
    static void ObjectCreated() {}
    static void ObjectDestroyed() {}
    static void Lock() {}
    static void Unlock() {}
};

// Counts an object for its whole life: derive from it (or hold it as a
// member) in every class whose objects keep the module loaded.
template <typename Counter>
struct CountedObject {
    CountedObject() { Counter::ObjectCreated(); }
    CountedObject(const CountedObject&) { Counter::ObjectCreated(); }
    CountedObject& operator=(const CountedObject&) = default;
    ~CountedObject() { Counter::ObjectDestroyed(); }
};

// A class factory for one class. The creator stores a new reference to an
// object in *created (or returns a failure result); the factory hands out
// the requested interface and drops its own reference, so an object whose
// query fails is freed at once. The factory counts as a live object
// itself: a client holding it must keep the module loaded, or its next call
// would land in unloaded code.
template <typename Counter>
class ClassFactory final : public ComObject<IClassFactory, IID_IClassFactory>,
                           private CountedObject<Counter> {
public:
    using Creator = std::function<HRESULT(IUnknown** created)>;

    explicit ClassFactory(Creator create)
        : ComObject<IClassFactory, IID_IClassFactory>(0), create_(std::move(create)) {}

    // A creator that returns a fresh object with a reference count of 0,
    // or null when it cannot make one.
    static Creator FromNew(IUnknown* (*make)()) {
        return [make](IUnknown** created) -> HRESULT {
            IUnknown* object = make();
            if (!object) return E_OUTOFMEMORY;
            object->AddRef();
            *created = object;
            return S_OK;
        };
    }

    HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        IUnknown* created = nullptr;
        HRESULT hr;
        try {
            hr = create_(&created);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        if (FAILED(hr)) return hr;
        if (!created) return E_UNEXPECTED;
        hr = created->QueryInterface(iid, object);
        created->Release();
        if (FAILED(hr)) *object = nullptr;
        return hr;
    }

    HRESULT LockServer(int lock) override {
        if (lock) {
            Counter::Lock();
        } else {
            Counter::Unlock();
        }
        return S_OK;
    }

    // A new factory holding one reference, which the caller owns (for
    // CoRegisterClassObject and the like).
    static IClassFactory* Make(Creator create) {
        auto* factory = new ClassFactory(std::move(create));
        factory->AddRef();
        return factory;
    }

    // Creates a factory and returns the requested interface of it (the
    // body of a module's DllGetClassObject once the class is known).
    static HRESULT Get(Creator create, REFIID iid, void** object) {
        if (!object) return E_POINTER;
        *object = nullptr;
        ClassFactory* factory = new (std::nothrow) ClassFactory(std::move(create));
        if (!factory) return E_OUTOFMEMORY;
        factory->AddRef();
        HRESULT hr = factory->QueryInterface(iid, object);
        factory->Release();
        return hr;
    }

private:
    ~ClassFactory() override = default;

    Creator create_;
};

// Registers a class object for a CLSID in the process's class table while
// it lives: a host offering its host-services class to the plug-in's
// CoCreateInstance.
class ClassRegistration {
public:
    using Creator = ClassFactory<NoModuleCounter>::Creator;

    // `create` makes each new object (a new reference in *created, or a
    // failure result that CoCreateInstance passes on).
    ClassRegistration(REFCLSID clsid, Creator create)
        : factory_(ComPtr<IClassFactory>::adopt(
              ClassFactory<NoModuleCounter>::Make(std::move(create)))) {
        result_ = CoRegisterClassObject(clsid, factory_.get(), CLSCTX_INPROC_SERVER,
                                        REGCLS_MULTIPLEUSE, &cookie_);
    }
    ~ClassRegistration() {
        if (SUCCEEDED(result_)) CoRevokeClassObject(cookie_);
    }
    ClassRegistration(const ClassRegistration&) = delete;
    ClassRegistration& operator=(const ClassRegistration&) = delete;

    HRESULT result() const { return result_; }

private:
    ComPtr<IClassFactory> factory_;
    DWORD cookie_ = 0;
    HRESULT result_ = E_FAIL;
};
