// Owning wrappers for platform handles, so that every path out of a function
// releases what it acquired.
#pragma once

#include <windows.h>

#include <utility>

template <typename T, auto Release, T Invalid = T()>
class UniqueResource {
public:
    UniqueResource() = default;
    explicit UniqueResource(T value) : value_(value) {}
    ~UniqueResource() { reset(); }

    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }

    T get() const { return value_; }
    explicit operator bool() const { return value_ != Invalid; }
    T* put() {
        reset();
        return &value_;
    }
    T release() { return std::exchange(value_, Invalid); }
    void reset(T value = Invalid) {
        if (value_ != Invalid) Release(value_);
        value_ = value;
    }

private:
    T value_ = Invalid;
};

namespace unique_resource_detail {
inline void CloseHandleValue(HANDLE handle) { CloseHandle(handle); }
inline void FreeLibraryValue(HMODULE module) { FreeLibrary(module); }
inline void LocalFreeValue(HLOCAL memory) { LocalFree(memory); }
inline void FreeSidValue(PSID sid) { FreeSid(sid); }
}  // namespace unique_resource_detail

using UniqueHandle = UniqueResource<HANDLE, unique_resource_detail::CloseHandleValue>;
using UniqueLibrary = UniqueResource<HMODULE, unique_resource_detail::FreeLibraryValue>;
using UniqueLocal = UniqueResource<HLOCAL, unique_resource_detail::LocalFreeValue>;
using UniqueSid = UniqueResource<PSID, unique_resource_detail::FreeSidValue>;
