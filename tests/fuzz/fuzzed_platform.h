// A USB stack and registry whose every answer is read from the fuzzer's
// input: success or failure, byte counts, record contents, key names and
// values. When the input runs out every call fails, so a scan always ends.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

#include "tree/registry_platform.h"
#include "usb/usb_platform.h"

class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool Empty() const { return at_ >= size_; }
    uint8_t Byte() { return Empty() ? 0 : data_[at_++]; }
    bool Bool() { return !Empty() && (Byte() & 1); }
    uint32_t U16() { return Byte() | (uint32_t{Byte()} << 8); }
    void Fill(uint8_t* out, size_t count)
    {
        for (size_t i = 0; i < count; ++i)
            out[i] = Byte();
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

[[noreturn]] inline void FuzzFailure(const char* what)
{
    fprintf(stderr, "fuzz check failed: %s\n", what);
    abort();
}

class FuzzedUsbPlatform : public UsbPlatform {
public:
    explicit FuzzedUsbPlatform(FuzzInput& input) : in_(input) {}

    ControllerSet OpenControllerSet() override
    {
        if (!in_.Bool())
            return nullptr;
        ++setsOpen_;
        return this;
    }
    bool EnumController(ControllerSet, uint32_t index) override { return index < 6 && in_.Bool(); }
    uint32_t ControllerPathSize(ControllerSet, uint32_t) override { return in_.Byte() % 40; }
    const char* ControllerPath(ControllerSet, uint32_t, void* buffer, uint32_t size) override
    {
        if (!in_.Bool() || size == 0)
            return nullptr;
        auto* text = static_cast<char*>(buffer);
        snprintf(text, size, "hc%u", in_.Byte());
        return text;
    }
    bool ControllerDescription(ControllerSet, uint32_t, char* buffer, uint32_t size) override
    {
        if (!in_.Bool())
            return false;
        in_.Fill(reinterpret_cast<uint8_t*>(buffer), in_.Byte() % (size + 1));
        return true;
    }
    void CloseControllerSet(ControllerSet) override
    {
        if (setsOpen_-- == 0)
            FuzzFailure("controller set closed twice");
    }
    DeviceHandle OpenDevice(const char*) override
    {
        if (!in_.Bool())
            return InvalidDeviceHandle();
        DeviceHandle handle = reinterpret_cast<DeviceHandle>(next_);
        next_ += 4;
        open_.insert(handle);
        return handle;
    }
    bool IoControl(DeviceHandle handle, uint32_t, void*, uint32_t, void* out, uint32_t outSize,
                   uint32_t* bytesReturned) override
    {
        *bytesReturned = 0;
        if (!open_.count(handle))
            FuzzFailure("I/O control on a handle that is not open");
        if (!in_.Bool())
            return false;
        // A driver never reports more than the output buffer holds.
        const uint32_t count = outSize ? in_.U16() % (outSize + 1) : 0;
        if (count && !out)
            FuzzFailure("output expected without a buffer");
        in_.Fill(static_cast<uint8_t*>(out), count);
        *bytesReturned = count;
        return true;
    }
    void CloseDevice(DeviceHandle handle) override
    {
        if (!open_.erase(handle))
            FuzzFailure("handle closed twice or never opened");
    }

    bool AllClosed() const { return open_.empty() && setsOpen_ == 0; }

private:
    FuzzInput& in_;
    std::set<DeviceHandle> open_;
    uintptr_t next_ = 0x100;
    size_t setsOpen_ = 0;
};

class FuzzedRegistry : public RegistryPlatform {
public:
    explicit FuzzedRegistry(FuzzInput& input) : in_(input) {}

    RegistryKey OpenKeyEx(RegistryKey parent, const char* path, uint32_t) override { return OpenKey(parent, path); }
    RegistryKey OpenKey(RegistryKey, const char* path) override
    {
        if (!path || !in_.Bool())
            return nullptr;
        RegistryKey key = reinterpret_cast<RegistryKey>(next_);
        next_ += 4;
        open_.insert(key);
        return key;
    }
    bool EnumKey(RegistryKey key, uint32_t index, char* name, uint32_t capacity) override
    {
        Known(key);
        if (index > 40 || capacity == 0 || !in_.Bool())
            return false;
        const uint32_t length = in_.Byte() % capacity;
        for (uint32_t i = 0; i < length; ++i)
            name[i] = static_cast<char>('A' + in_.Byte() % 26);
        name[length] = 0;
        return true;
    }
    bool QueryValue(RegistryKey key, const char*, void* buffer, uint32_t* size) override
    {
        Known(key);
        if (!in_.Bool())
            return false;
        const uint32_t stored = in_.U16() % 400;
        if (stored > *size) {
            in_.Fill(static_cast<uint8_t*>(buffer), *size);
            *size = stored;
            return false;
        }
        in_.Fill(static_cast<uint8_t*>(buffer), stored);
        *size = stored;
        return true;
    }
    void CloseKey(RegistryKey key) override
    {
        if (!open_.erase(key))
            FuzzFailure("key closed twice or never opened");
    }

    bool AllClosed() const { return open_.empty(); }

private:
    void Known(RegistryKey key)
    {
        if (key != LocalMachineKey() && key != ClassesRootKey() && !open_.count(key))
            FuzzFailure("registry call on a key that is not open");
    }

    FuzzInput& in_;
    std::set<RegistryKey> open_;
    uintptr_t next_ = 0x1000;
};
