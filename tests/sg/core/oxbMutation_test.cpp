// Damaged copies of valid scene files: every truncation, single-byte changes at every
// position, and files spliced from two others. Each read must end in a graph that can be
// stored again or in a refusal with exactly one warning, and leave no object behind.
#include <gtest/gtest.h>

#include "tests/sg/core/oxbTestSupport.h"

using namespace oxbtest;

namespace {

int liveObjects()
{
    int n = 0;
    for (int i = 0; i < oxMetaObject::getRegisteredCount(); ++i)
        n += oxMetaObject::getRegistered(i)->getInstanceCount();
    return n;
}

class OXBMutation : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        registerAll();
        for (const oxSmartPointer<oxObject>& root : oxbsamples::all())
            files().push_back(write(root));
        files().push_back(write(mixedKinds()));
    }
    static void TearDownTestSuite() { files().clear(); }

    static std::vector<std::vector<uint8_t>>& files()
    {
        static std::vector<std::vector<uint8_t>> list;
        return list;
    }

    static std::vector<uint8_t> write(oxObject* root)
    {
        std::vector<uint8_t> bytes;
        EXPECT_EQ(oxOXBWriter::writeMemory(root, bytes), kSuccess);
        return bytes;
    }

    // Every field kind, a container of the tests' own, an older class and plain pointers.
    static oxSmartPointer<oxObject> mixedKinds()
    {
        oxSmartPointer<oxDirectory> dir = oxDirectory::_instantiate();
        oxSmartPointer<AllKinds> a = AllKinds::_instantiate();
        oxSmartPointer<AllKinds> b = AllKinds::_instantiate();
        a->setName("a");
        a->_ref = b.get();
        a->_raw = b;
        b->_raw = a;
        a->_str = "text";
        const uint8_t bytes[] = {1, 2, 3};
        a->_mem.assign(bytes, sizeof bytes);
        std::strcpy(a->_chars, "chars");
        a->_v3 = oxVec3f(4, 5, 6);
        oxSmartPointer<WeightTable> table = WeightTable::_instantiate();
        table->_names = {"w"};
        table->_weights = {0.25};
        a->_refs[0] = table.get();
        oxSmartPointer<OldTimer> old = OldTimer::_instantiate();
        old->_seconds = 2;
        a->_refs[1] = old.get();
        dir->addObject(a);
        return dir.get();
    }

    // One read of damaged bytes, judged; `accepted` counts the reads that gave a graph.
    static void judge(const std::vector<uint8_t>& bytes, const std::string& what, int& accepted)
    {
        int before = liveObjects();
        {
            WarningCatcher warnings;
            oxOXBReader reader;
            if (reader.read(bytes.data(), bytes.size(), "mutant.oxb") == kSuccess) {
                ++accepted;
                ASSERT_TRUE(reader.getRoot()) << what;
                // A graph the reader accepts is one the writer can store again.
                std::vector<uint8_t> again;
                ASSERT_EQ(oxOXBWriter::writeMemory(reader.getRoot(), again), kSuccess) << what << "\n" << warnings.all();
                ASSERT_TRUE(oxOXBReader::readObject(again.data(), again.size(), "again.oxb")) << what;
            } else {
                ASSERT_EQ(warnings.count(), 1u) << what << "\n" << warnings.all();
                ASSERT_EQ(reader.getObjectCount(), 0u) << what;
            }
        }
        ASSERT_EQ(liveObjects(), before) << what << ": every object is released";
    }
};

TEST_F(OXBMutation, EveryTruncationIsRefused)
{
    for (const std::vector<uint8_t>& file : files()) {
        ASSERT_GT(file.size(), 100u);
        for (size_t n = 0; n < file.size(); ++n) {
            int before = liveObjects();
            WarningCatcher warnings;
            std::vector<uint8_t> cut(file.begin(), file.begin() + long(n));
            ASSERT_FALSE(oxOXBReader::readObject(cut.data(), cut.size(), "cut.oxb")) << "cut at " << n;
            ASSERT_EQ(warnings.count(), 1u) << "cut at " << n << "\n" << warnings.all();
            ASSERT_EQ(liveObjects(), before) << "cut at " << n;
        }
    }
}

TEST_F(OXBMutation, ChangedBytesGiveAGraphOrOneRefusal)
{
    int accepted = 0, tried = 0;
    for (size_t f = 0; f < files().size(); ++f) {
        const std::vector<uint8_t>& file = files()[f];
        for (size_t i = 0; i < file.size(); ++i)
            for (uint8_t mask : {0x01, 0x10, 0x80, 0xff}) {
                std::vector<uint8_t> bytes = file;
                bytes[i] ^= mask;
                judge(bytes, "file " + std::to_string(f) + ", byte " + std::to_string(i) + " ^ " + std::to_string(mask),
                      accepted);
                if (HasFatalFailure())
                    return;
                ++tried;
            }
    }
    // Both outcomes occur: values change harmlessly, structure breaks.
    EXPECT_GT(accepted, 0);
    EXPECT_LT(accepted, tried);
    RecordProperty("accepted", accepted);
    RecordProperty("tried", tried);
}

TEST_F(OXBMutation, SplicedFilesGiveAGraphOrOneRefusal)
{
    const auto& all = files();
    int accepted = 0;
    for (size_t a = 0; a < all.size(); ++a)
        for (size_t b = 0; b < all.size(); ++b) {
            if (a == b)
                continue;
            for (size_t cut = 0; cut < all[a].size(); cut += 5) {
                std::vector<uint8_t> bytes(all[a].begin(), all[a].begin() + long(cut));
                size_t from = std::min(cut, all[b].size());
                bytes.insert(bytes.end(), all[b].begin() + long(from), all[b].end());
                judge(bytes, "files " + std::to_string(a) + "+" + std::to_string(b) + " at " + std::to_string(cut),
                      accepted);
                if (HasFatalFailure())
                    return;
            }
        }
}

} // namespace
