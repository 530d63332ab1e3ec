// A real mosquitto on 127.0.0.1, configured and persisting in a scratch folder, so that it can be
// stopped and started again with its sessions.
#pragma once

#include <signal.h>
#include <sys/types.h>

#include <string>

namespace mqtt_testing {

struct BrokerSetup {
    // Non-empty: anonymous clients are refused and this one login is known.
    std::string user;
    std::string password;
    // Above 0: QoS 1 and 2 messages in flight per client, each way (MQTT 5's receive maximum).
    int maxInflight = 0;
    // Small packets such as acknowledgements go out at once instead of waiting for Nagle.
    bool noDelay = false;
    // Non-empty: the broker's access rules (acl_file lines).
    std::string acl;
    // Non-empty: a second, TLS listener serving this certificate and key.
    std::string certificate;
    std::string key;
};

class MosquittoBroker {
public:
    MosquittoBroker(const std::string& directory, const BrokerSetup& setup = {});
    MosquittoBroker(const MosquittoBroker&) = delete;
    MosquittoBroker& operator=(const MosquittoBroker&) = delete;
    ~MosquittoBroker();

    // Starts the broker and returns once its plain listener accepts; false after a few seconds without.
    bool start();
    // SIGTERM, as a service manager stops it: the broker saves its sessions before it exits.
    void stop();
    // SIGSTOP keeps its connections open with nothing answered until SIGCONT.
    void signal(int number) const { ::kill(pid_, number); }

    int port() const { return port_; }
    int tlsPort() const { return tlsPort_; }
    std::string log() const;

private:
    std::string directory_;
    int port_ = 0;
    int tlsPort_ = 0;
    pid_t pid_ = -1;
};

// Makes a self-signed certificate for 127.0.0.1, which serves as its own authority.
bool makeCertificate(const std::string& certificate, const std::string& key);

} // namespace mqtt_testing
