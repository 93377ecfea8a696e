// Makes sessions.
#pragma once

#include <memory>

#include "http/session.h"

namespace ombrix::http {

// Every call makes a new session with its own empty pool and no proxy yet.
// Thread-safe.
class SessionFactory {
 public:
  SessionFactory() = default;
  virtual ~SessionFactory() = default;
  SessionFactory(const SessionFactory&) = delete;
  SessionFactory& operator=(const SessionFactory&) = delete;

  virtual std::shared_ptr<Session> CreateSession() = 0;
};

// Sessions whose pools hand out idle requests oldest-released first.
class RoundRobinSessionFactory : public SessionFactory {
 public:
  std::shared_ptr<Session> CreateSession() override;
};

}  // namespace ombrix::http
