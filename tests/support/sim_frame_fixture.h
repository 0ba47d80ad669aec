#pragma once

// A main window over virtual devices, for tests of what the console does when devices come and go.

#include "app/main_frame.h"
#include "sim/sim_transport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <string>

struct SimFrameFixture : testing::Test {
    QTemporaryDir dir;
    std::unique_ptr<nemora::sim::SimTransport> transport;
    std::unique_ptr<CMainFrame> frame;
    QString programFolder; // where the installers are looked for; empty: beside the test program

    void SetUp() override
    {
        std::string error;
        transport = nemora::sim::SimTransport::Create({}, dir.filePath("control").toStdString(), error);
        ASSERT_TRUE(transport) << error;
        MainFrameServices services;
        services.pTransport = transport.get();
        services.checkFirstRun = [] { return false; };
        services.strProgramFolder = programFolder;
        frame = std::make_unique<CMainFrame>(services);
        frame->OnInitialUpdate();
        frame->show();
    }
    // Plugs a device written like one NEMORA_SIM entry; returns its location.
    unsigned Plug(const char* device)
    {
        std::string error;
        const unsigned location = transport->Plug(device, error);
        EXPECT_NE(location, 0u) << error;
        return location;
    }
};
