#include "senders/kept_history.h"

KeptHistory::KeptHistory(HMODULE module, Day today)
    : history_(std::make_unique<SenderHistory>(today)),
      file_(module, kHistoryFileName, *history_, kLargestHistoryFile) {
    file_.open(today);
}
