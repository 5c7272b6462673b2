// A record manager's client library loaded at run time, and the choice of engine.
#include "db/engine/BtrieveEngine.h"

#include <QFile>

#include <cstdlib>
#include <dlfcn.h>

namespace nvx {

namespace {

using BtrcallFunction = int16_t (*)(uint16_t, void*, void*, uint32_t*, void*, uint8_t, int8_t);

class VendorEngine final : public BtrieveEngine {
public:
    VendorEngine(void* library, BtrcallFunction call, QString path)
        : library_(library), call_(call), path_(std::move(path))
    {
    }
    ~VendorEngine() override { dlclose(library_); }

    int16_t BTRCALL(uint16_t op, void* posBlock, void* dataBuf, uint32_t* dataLen, void* keyBuf,
                    uint8_t keyLen, int8_t keyNum) override
    {
        return call_(op, posBlock, dataBuf, dataLen, keyBuf, keyLen, keyNum);
    }
    QString description() const override { return path_; }

private:
    void* library_;
    BtrcallFunction call_;
    QString path_;
};

QString lastLoaderError()
{
    const char* text = dlerror();
    return text ? QString::fromLocal8Bit(text) : QString();
}

} // namespace

std::unique_ptr<BtrieveEngine> loadVendorEngine(const QString& libraryPath, QString* error)
{
    const QByteArray nativePath = QFile::encodeName(libraryPath);
    // Local binding: the library's own symbols must not stand in for the program's, nor the
    // other way round.
    void* library = dlopen(nativePath.constData(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        if (error)
            *error = QStringLiteral("Cannot load the record engine library ") % libraryPath % u": " %
                     lastLoaderError();
        return nullptr;
    }
    dlerror();
    auto call = reinterpret_cast<BtrcallFunction>(dlsym(library, "BTRCALL"));
    if (!call) {
        if (error)
            *error =
                QStringLiteral("The record engine library ") % libraryPath % u" has no BTRCALL entry point";
        dlclose(library);
        return nullptr;
    }
    return std::make_unique<VendorEngine>(library, call, libraryPath);
}

std::unique_ptr<BtrieveEngine> createEngine(const QString& libraryPath, QString* error)
{
    QString path = libraryPath;
    if (path.isEmpty())
        path = qEnvironmentVariable("VL3_BTRIEVE_LIBRARY");
    if (path.isEmpty())
        return createEmbeddedEngine();
    return loadVendorEngine(path, error);
}

} // namespace nvx
