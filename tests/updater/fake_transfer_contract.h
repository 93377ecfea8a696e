// A transfer service stand-in for the updater's tests: every transfer follows a
// script (initializes after one read, then runs and completes, or fails where the
// test says), and every call is recorded.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "transfer/transfer_contract.h"

namespace ombrix::test {

class FakeTransferContract : public TransferContract {
 public:
  // What a package's transfer does. Reads after StartTransfer go through `progress`
  // (transferred bytes of 1000 per read, up to 1000), then `end` is answered.
  struct Script {
    TransferStatus created;          // the answer to CreateTransfer (transferId set by the fake)
    TransferStatus initialized;      // answered once the transfer was read once
    std::vector<std::uint64_t> progress = {0, 500};
    TransferStatus end;              // state Complete with `run`, or an error
    bool throwOnRead = false;        // GetStatus throws for this transfer
  };

  // The script of the package `packageId`; unscripted packages complete at once.
  void SetScript(const std::string& packageId, Script script);
  static Script Completes(const std::string& run);
  static Script FailsWith(TransferError error, TransferState state = TransferState::Transferring,
                          bool retryable = false);

  TransferStatus CreateTransfer(const std::string& partnerId, const std::string& packageId) override;
  TransferStatus CreateTransfer(const std::string& partnerId, const std::string& packageId,
                                const std::string& versionId) override;
  bool CanTransferTo(const std::string& transferId, const std::string& destPath) override;
  TransferStatus StartTransfer(const std::string& transferId) override;
  TransferStatus StartTransfer(const std::string& transferId, const std::string& destPath) override;
  TransferStatus GetStatus(const std::string& transferId) override;
  TransferStatus PauseTransfer(const std::string& transferId) override;
  TransferStatus ResumeTransfer(const std::string& transferId) override;
  TransferStatus RetryTransfer(const std::string& transferId) override;
  TransferStatus SuspendTransfer(const std::string& transferId) override;
  TransferStatus RestoreTransfer(const std::string& transferId) override;
  TransferStatus CancelTransfer(const std::string& transferId, bool cleanUp) override;

  // "Create K V", "Start <id> <dest>", "Cancel <id> <cleanUp>" in call order (reads are not recorded).
  std::vector<std::string> Calls() const;

 private:
  struct Transfer {
    Script script;
    std::string packageId;
    bool started = false;
    std::size_t reads = 0;
  };
  TransferStatus Current(Transfer& transfer, const std::string& transferId);

  mutable std::mutex lock;
  std::map<std::string, Script> scripts;
  std::map<std::string, Transfer> transfers;
  std::vector<std::string> calls;
};

// Forwards every operation to a contract the test keeps, so that the run sequence
// can own its service while the test reads the calls afterwards.
class ForwardingContract : public TransferContract {
 public:
  explicit ForwardingContract(TransferContract& to) : to(to) {}
  TransferStatus CreateTransfer(const std::string& p, const std::string& k) override { return to.CreateTransfer(p, k); }
  TransferStatus CreateTransfer(const std::string& p, const std::string& k, const std::string& v) override {
    return to.CreateTransfer(p, k, v);
  }
  bool CanTransferTo(const std::string& id, const std::string& d) override { return to.CanTransferTo(id, d); }
  TransferStatus StartTransfer(const std::string& id) override { return to.StartTransfer(id); }
  TransferStatus StartTransfer(const std::string& id, const std::string& d) override { return to.StartTransfer(id, d); }
  TransferStatus GetStatus(const std::string& id) override { return to.GetStatus(id); }
  TransferStatus PauseTransfer(const std::string& id) override { return to.PauseTransfer(id); }
  TransferStatus ResumeTransfer(const std::string& id) override { return to.ResumeTransfer(id); }
  TransferStatus RetryTransfer(const std::string& id) override { return to.RetryTransfer(id); }
  TransferStatus SuspendTransfer(const std::string& id) override { return to.SuspendTransfer(id); }
  TransferStatus RestoreTransfer(const std::string& id) override { return to.RestoreTransfer(id); }
  TransferStatus CancelTransfer(const std::string& id, bool c) override { return to.CancelTransfer(id, c); }

 private:
  TransferContract& to;
};

}  // namespace ombrix::test
