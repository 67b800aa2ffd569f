// The compressing worker: streams filed with their plain text get the same compressed data and
// "Filter" from a worker as from the calling thread, in parts or all at once.
#include "pdf/document/stream_compressor.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <memory>
#include <string>
#include <vector>

#include "pdf/document/doc.h"
#include "pdf/library/pdf_lib.h"
#include "pdf/stream/stream.h"
#include "support/files.h"
#include "support/filters.h"
#include "support/pdf_builder.h"
#include "support/threads.h"
#include "support/values.h"

namespace quarn {
namespace {

std::string TextOf(size_t i) {
  return "q BT /F1 9 Tf 10 10 Td (" + std::to_string(i) + ") Tj ET Q";
}

// The data and filter of `count` streams after they went through a compressor.
std::vector<std::string> Compressed(bool worker, size_t count) {
  test::TempDir dir;
  test::WriteFile(dir.File("in.pdf"), test::MakePagesPdf({"/MediaBox [0 0 10 10]"}));
  CPDFLib lib;
  CPDFErrorRecord error;
  std::unique_ptr<CPDFDoc> doc = lib.OpenDoc(dir.File("in.pdf"), nullptr, error);
  EXPECT_NE(doc, nullptr);
  if (!doc) return {};
  StreamCompressor compressor(worker);
  EXPECT_EQ(compressor.HasWorker(), worker);
  std::vector<CPDFObjRef> refs;
  for (size_t i = 0; i < count; ++i) {
    const std::string text = TextOf(i);
    auto stream = std::make_unique<CPDFStream>(doc.get());
    stream->SetData(text.data(), text.size());
    CPDFObjRef ref;
    EXPECT_TRUE(doc->RegistObj(std::move(stream), &ref));
    // Every other text is made by the job itself, as number stamps are.
    if (i % 2) {
      compressor.Submit(ref, [text](std::string& made, CPDFErrorRecord&) {
        made = text;
        return true;
      });
    } else {
      compressor.Submit(ref, text);
    }
    refs.push_back(ref);
    // Settled in parts while more are queued, as the driver does page by page.
    if (i % 100 == 99) {
      EXPECT_TRUE(compressor.Settle(i - 50, doc.get(), error));
    }
  }
  EXPECT_TRUE(compressor.SettleAll(doc.get(), error)) << error.Message();
  std::vector<std::string> results;
  for (const CPDFObjRef& ref : refs) {
    auto* stream = dynamic_cast<CPDFStream*>(doc->GetObj(ref));
    if (!stream) return {};
    CPDFStream decoded(doc.get());
    decoded.CopyFrom(*stream, doc.get());
    EXPECT_TRUE(decoded.DecodeAllFilter(error));
    EXPECT_EQ(test::DataOf(decoded), TextOf(results.size()));
    results.push_back(test::DataOf(*stream) + "|" + test::Text(stream->Get_Filter()));
  }
  return results;
}

TEST(StreamCompressor, WorkerAndCallerThreadGiveTheSameBytes) {
  // Whole batches and a part batch, settled in parts: some jobs are still the worker's when
  // settled, and the last ones were never handed to it.
  const size_t count = StreamCompressor::kBatch * 40 + 7;
  const std::vector<std::string> inline_ = Compressed(false, count);
  ASSERT_EQ(inline_.size(), count);
  EXPECT_NE(inline_[0].find("|/FlateDecode"), std::string::npos);
  EXPECT_EQ(Compressed(true, count), inline_);
}

TEST(StreamCompressor, AMakerThatFailsFailsTheSettling) {
  for (const bool worker : {false, true}) {
    StreamCompressor compressor(worker);
    compressor.Submit(CPDFObjRef(5, 0), [](std::string&, CPDFErrorRecord& error) {
      error = CPDFException("Test", "Make", kRuntimeError, "no text");
      return false;
    });
    CPDFErrorRecord error;
    EXPECT_FALSE(compressor.SettleAll(nullptr, error));
    EXPECT_NE(error.Message().find("no text"), std::string::npos) << error.Message();
  }
}

TEST(StreamCompressor, SignalsThatEndARunGoToTheWalkingThreadOnly) {
  // A handler that cuts an appended update back must not run on the worker while the walking
  // thread goes on writing: the worker blocks those signals, and only those.
  StreamCompressor compressor(true);
  ASSERT_TRUE(compressor.HasWorker());
  const auto bit = [](int number) { return uint64_t(1) << (number - 1); };
  const uint64_t mask = test::SettledHelperMask("zorvane-deflate");
  for (const int number : {SIGTERM, SIGINT, SIGHUP, SIGXFSZ}) EXPECT_TRUE(mask & bit(number));
  EXPECT_FALSE(mask & bit(SIGSEGV));
}

}  // namespace
}  // namespace quarn
