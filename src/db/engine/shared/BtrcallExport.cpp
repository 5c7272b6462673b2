// The embedded engine behind the record manager's C entry point, for programs that load the
// engine as a library.
#include "db/engine/BtrieveEngine.h"

#include <mutex>

namespace {

nvx::BtrieveEngine& engine()
{
    static std::unique_ptr<nvx::BtrieveEngine> instance = nvx::createEmbeddedEngine();
    return *instance;
}

std::mutex& callLock()
{
    static std::mutex lock;
    return lock;
}

} // namespace

extern "C" __attribute__((visibility("default"))) int16_t BTRCALL(uint16_t op, void* posBlock, void* dataBuf,
                                                                  uint32_t* dataLen, void* keyBuf, uint8_t keyLen,
                                                                  int8_t keyNum)
{
    // The engine keeps per-open state; callers from several threads take turns.
    std::lock_guard<std::mutex> guard(callLock());
    return engine().BTRCALL(op, posBlock, dataBuf, dataLen, keyBuf, keyLen, keyNum);
}
