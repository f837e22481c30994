#pragma once

// libFuzzer's start-up hook for the targets that run the master: its timers
// and signals want an application object, made once for every input.
#include <QCoreApplication>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}
