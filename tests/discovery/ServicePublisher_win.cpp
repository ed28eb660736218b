// Under Wine the test-double dnssd.dll, built next to the test executable,
// stands in for the DNS-SD service: the program's binding loads it by name
// like the real library, and the test drives it through its extra exports.

#include <windows.h>

#include "link/DnsSd.h"
#include "tests/discovery/ServicePublisher.h"

namespace corvello::test {

namespace {

template <typename Function>
Function exported(HMODULE library, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(library, name)));
}

class FakeServicePublisher : public ServicePublisher {
public:
    ~FakeServicePublisher() override { dnssd().release(); }

    bool start(std::string& whyNot) override
    {
        HMODULE library = dnssd().load() ? ::GetModuleHandleA("dnssd.dll") : nullptr;
        if (library) {
            publish_ = exported<Publish>(library, "corvfakePublish");
            withdraw_ = exported<Withdraw>(library, "corvfakeWithdraw");
            isRegistered_ = exported<IsRegistered>(library, "corvfakeIsRegistered");
        }
        if (!publish_ || !withdraw_ || !isRegistered_)
            whyNot = "the test-double dnssd.dll is not next to the test";
        return publish_ && withdraw_ && isRegistered_;
    }

    void publish(const std::string& name, std::uint16_t port) override
    {
        publish_(name.c_str(), kOscPeerType, "localhost", port);
    }

    void withdraw(const std::string& name) override { withdraw_(name.c_str(), kOscPeerType); }

    bool seesRegistration(const std::string& type, std::uint16_t port) override
    {
        return isRegistered_(type.c_str(), port) != 0;
    }

    bool seesNoRegistration(const std::string& type, std::uint16_t port) override
    {
        return isRegistered_(type.c_str(), port) == 0;
    }

private:
    using Publish = void (*)(const char*, const char*, const char*, int);
    using Withdraw = void (*)(const char*, const char*);
    using IsRegistered = int (*)(const char*, int);

    Publish publish_ = nullptr;
    Withdraw withdraw_ = nullptr;
    IsRegistered isRegistered_ = nullptr;
};

}  // namespace

std::unique_ptr<ServicePublisher> makeServicePublisher() { return std::make_unique<FakeServicePublisher>(); }

}  // namespace corvello::test
