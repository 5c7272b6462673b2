#include "common/NativePath.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace nvx;
using namespace Qt::StringLiterals;

namespace {

class NativePathTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid());
        root = tmp.path();
        setDriveRoot(root);
    }
    void TearDown() override { setDriveRoot({}); }

    void makeFile(const QString& relative)
    {
        const QString path = root + u'/' + relative;
        ASSERT_TRUE(QDir().mkpath(path.left(path.lastIndexOf(u'/'))));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }

    QTemporaryDir tmp;
    QString root;
};

} // namespace

TEST_F(NativePathTest, DrivesNetworkPathsAndNativePathsConvert)
{
    EXPECT_EQ(NativePath(u"C:\\VL_Data\\x.txt"_s), root + u"/c/VL_Data/x.txt"_s);
    EXPECT_EQ(NativePath(u"d:\\Sons"_s), root + u"/d/Sons"_s);
    EXPECT_EQ(NativePath(u"\\\\Studio\\Partage\\a.wav"_s), root + u"/unc/Studio/Partage/a.wav"_s);
    EXPECT_EQ(NativePath(u"Settings\\VL3_Tools_NVX\\x.Ini"_s), u"Settings/VL3_Tools_NVX/x.Ini"_s);
    const QString native = root + u"/already/native.txt"_s;
    EXPECT_EQ(NativePath(native), native);
    EXPECT_EQ(NativePath(SuitePath(native)), native);
}

TEST_F(NativePathTest, ExistingComponentsMatchWithoutRegardToCase)
{
    makeFile(u"c/VL_Data/Config/QM_SYS.ini"_s);
    EXPECT_EQ(NativePath(u"C:\\VL_Data\\Config\\Qm_sys.ini"_s), root + u"/c/VL_Data/Config/QM_SYS.ini"_s);
    EXPECT_EQ(NativePath(u"C:\\vl_data\\CONFIG\\qm_SYS.INI"_s), root + u"/c/VL_Data/Config/QM_SYS.ini"_s);

    makeFile(u"c/Settings/VL3_Tools_NVX.Ini"_s);
    EXPECT_EQ(NativePath(u"C:\\Settings\\VL3_Tools_NVX.ini"_s), root + u"/c/Settings/VL3_Tools_NVX.Ini"_s);
}

TEST_F(NativePathTest, NewNamesKeepTheirSpelling)
{
    makeFile(u"c/VL_Data/existing.txt"_s);
    // The existing folder is found whatever its case; the new file keeps the name as written.
    EXPECT_EQ(NativePath(u"C:\\VL_DATA\\Nouveau_Fichier.Ini"_s), root + u"/c/VL_Data/Nouveau_Fichier.Ini"_s);
    // Below a component that matches nothing, the rest is kept as written too.
    EXPECT_EQ(NativePath(u"C:\\VL_DATA\\Neuf\\Sous\\A.txt"_s), root + u"/c/VL_Data/Neuf/Sous/A.txt"_s);
}
