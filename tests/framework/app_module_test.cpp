// The module records and the application module's life and loop registry.
#include "framework/app_module.h"
#include "framework/module_records.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <thread>

namespace QV
{
namespace
{

TEST(ModuleRecords, InstanceAndResourcesAreTheExecutablesOwnImage)
{
    const HINSTANCE self = ::GetModuleHandleW(nullptr);
    EXPECT_EQ(self, g_baseModuleRecord.m_hInst);
    EXPECT_EQ(self, g_baseModuleRecord.m_hInstResource);
    EXPECT_EQ(self, g_appModule.GetModuleInstance());
    EXPECT_EQ(self, g_appModule.GetResourceInstance());
    EXPECT_NE(0u, g_appModule.GetLiveMarker());
    EXPECT_EQ(0, g_comModuleRecord.GetClassObjectCount());
}

TEST(AppModule, WithoutInitializeThereIsNoRegistry)
{
    CAppModule module;
    CMessageLoop loop;
    EXPECT_FALSE(module.RegisterMessageLoop(&loop));
    EXPECT_EQ(nullptr, module.FindMessageLoop(::GetCurrentThreadId()));
    EXPECT_FALSE(module.UnregisterMessageLoop());
}

TEST(AppModule, RegistryServesTheCallingThread)
{
    CAppModule module;
    ASSERT_EQ(S_OK, module.Initialize());
    CMessageLoop first, second;
    const DWORD self = ::GetCurrentThreadId();
    EXPECT_EQ(nullptr, module.FindMessageLoop(self));
    ASSERT_TRUE(module.RegisterMessageLoop(&first));
    ASSERT_TRUE(module.RegisterMessageLoop(&second));
    EXPECT_EQ(&first, module.FindMessageLoop(self));

    std::thread other(
        [&]
        {
            CMessageLoop own;
            EXPECT_FALSE(module.UnregisterMessageLoop()); // no entry for this thread
            EXPECT_TRUE(module.RegisterMessageLoop(&own));
            EXPECT_EQ(&own, module.FindMessageLoop(::GetCurrentThreadId()));
            EXPECT_EQ(&first, module.FindMessageLoop(self));
            EXPECT_TRUE(module.UnregisterMessageLoop());
        });
    other.join();

    EXPECT_TRUE(module.UnregisterMessageLoop());
    EXPECT_EQ(&second, module.FindMessageLoop(self));
    EXPECT_TRUE(module.UnregisterMessageLoop());
    EXPECT_EQ(nullptr, module.FindMessageLoop(self));
    EXPECT_FALSE(module.UnregisterMessageLoop());
    module.Terminate();
}

TEST(AppModule, TerminateEndsTheModuleOnceRunningCallbacksLastFirst)
{
    CAppModule module;
    ASSERT_EQ(S_OK, module.Initialize());
    CMessageLoop loop;
    ASSERT_TRUE(module.RegisterMessageLoop(&loop));
    std::string order;
    auto append = [](void* p) { *static_cast<std::string*>(p) += "x"; };
    ASSERT_TRUE(module.AddTermFunc([](void* p) { *static_cast<std::string*>(p) += "1"; }, &order));
    ASSERT_TRUE(module.AddTermFunc([](void* p) { *static_cast<std::string*>(p) += "2"; }, &order));
    EXPECT_NE(0u, module.GetLiveMarker());

    module.Terminate();
    EXPECT_EQ("21", order);
    EXPECT_EQ(0u, module.GetLiveMarker());
    EXPECT_EQ(nullptr, module.FindMessageLoop(::GetCurrentThreadId()));
    EXPECT_FALSE(module.RegisterMessageLoop(&loop));

    module.Terminate();
    EXPECT_EQ("21", order);
    EXPECT_FALSE(module.AddTermFunc(append, &order));
    EXPECT_EQ(E_UNEXPECTED, module.Initialize());
}

TEST(AppModule, DestructionEndsAModuleNeverTerminated)
{
    int calls = 0;
    {
        CAppModule module;
        ASSERT_EQ(S_OK, module.Initialize());
        ASSERT_TRUE(module.AddTermFunc([](void* p) { ++*static_cast<int*>(p); }, &calls));
    }
    EXPECT_EQ(1, calls);
}

TEST(AppModule, SecondInitializeKeepsTheRegistry)
{
    CAppModule module;
    CMessageLoop loop;
    ASSERT_EQ(S_OK, module.Initialize());
    ASSERT_TRUE(module.RegisterMessageLoop(&loop));
    EXPECT_EQ(S_OK, module.Initialize());
    EXPECT_EQ(&loop, module.FindMessageLoop(::GetCurrentThreadId()));
}

} // namespace
} // namespace QV
