// Fixed texts of the consumer's operations side: metrics, health, service manager.
#pragma once

namespace consume::texts {

// Usage errors (exit status 2).
constexpr const char* badMetricsAddress = "--metrics wants ADDRESS:PORT (an IPv6 address in brackets), not ";
constexpr const char* cannotServeMetrics = "cannot serve metrics on ";

// At start, so that an operator (or a script that asked for port 0) knows where to look.
constexpr const char* servingMetrics = "metrics at http://";
constexpr const char* servingHealth = "/metrics, health at /health";

// The health check's answer.
constexpr const char* healthy = "ok";
constexpr const char* unhealthy = "unhealthy";
constexpr const char* healthPhase = ", phase ";
constexpr const char* healthLastFailure = ", last failure: ";

// Anything but the two pages.
constexpr const char* notFound = "not found: the pages are /metrics and /health\n";
constexpr const char* onlyGet = "only GET is served\n";

} // namespace consume::texts
