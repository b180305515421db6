#pragma once

#include "AsyncSocket.h"
#include "DelayedSendQueue.h"
#include "EventQueue.h"
#include "P2pCipher.h"
#include "P2pClock.h"
#include "P2pWire.h"
#include "RttEstimator.h"

#include <cstdint>
#include <functional>
#include <list>
#include <string>
#include <vector>

class P2pChannel;
struct QueuedFragment;
class QTimer;
class RelayPairSocket;
class TunnelConnection;
struct P2pPortMap;

// The P2P engine: a UDP socket towards the relay server (or, as the relay
// server, its port 8000) with the channels, mappings and timed events.
// Role 0 device endpoint, 1 client, 2 relay server; a closed engine has role 2.
// Everything runs on the thread that opened it; only the delayed sends run
// on a timer thread of their own.
class P2pEngine : public AsyncSocket
{
public:
    enum Role { RoleDevice = 0, RoleClient = 1, RoleServer = 2 };
    enum EventCode : uint8_t {
        EvLogin = 100, EvKeepAlive = 102, EvWatchdog = 103, EvRelayPunch = 105, EvPurge = 106,
        EvRetransmit = 107, EvRestart = 108
    };

    // The library's engine (the exports use it).
    static P2pEngine &library();

    P2pEngine();
    ~P2pEngine() override;

    // Client (role 1): the exports' open.
    bool openClient(const char *server, const char *user, const char *password);
    // Device endpoint (role 0) with its own device ID text.
    bool openDevice(const char *server, const char *ownId);
    // Relay server (role 2) on its UDP port; its address as the peers reach
    // it goes into the connect requests it passes on.
    bool openServer(const char *ownAddress = nullptr);
    void closeEngine();

    // Exports.
    bool isOpen() { return status(0, nullptr, 1) != 8; }
    bool exportOpen(const char *server, const char *user, const char *password, uint16_t threshold);
    bool exportClose();
    int addPort(uint32_t localPort, const char *idText, const char *targetAddr, uint16_t targetPort);
    bool delPort(uint32_t localPort);
    void restartAll();
    bool restartPort(uint32_t localPort);
    const char *mappingId(uint32_t index, char *out, int size) const;

    // Status of a local port (language 0 Chinese, 1 English; UTF-8 like the other texts of the library).
    int status(uint32_t localPort, char *text, int language);
    // Parameter answers.
    int localPortOf(const char *idText) const;
    bool peerAddressOf(const char *idText, char *out, int size) const;

    // Relay server accounts: user, password and the device IDs the user owns.
    void addAccount(const char *user, const char *password, const std::vector<std::string> &devices);
    void clearAccounts() { m_accounts.clear(); }

    // Called by the 25 ms timer.
    void onTimerEvents();

    // Socket handlers of the engine's parts.
    void onChannelReadable(P2pChannel *channel);
    void onTunnelAccept(P2pChannel *channel);
    void sendTunnelData(P2pChannel *channel, TunnelConnection *connection);
    void onTunnelClosed(P2pChannel *channel, TunnelConnection *connection);
    void onTunnelConnected(P2pChannel *channel, TunnelConnection *connection, int error);
    void onTunnelDrained(P2pChannel *channel);
    void onPortSocketReadable(P2pPortMap *map);
    void onRelayPairReadable(RelayPairSocket *pair);
    DelayedSendQueue &delayedSends() { return m_delayed; }

    // State, for the status query and for tests.
    int role() const { return m_role; }
    bool connected() const { return m_connected; }
    bool serverAuthenticated() const { return m_serverAuth; }
    const char *ownId() const { return m_ownId; }
    uint16_t proxyThreshold() const { return m_proxyThreshold; }
    void setProxyThreshold(uint16_t t) { m_proxyThreshold = t; }
    const std::vector<P2pChannel *> &channels() const { return m_channels; }
    const std::vector<P2pChannel *> &deviceRegistry() const { return m_devices; }
    const std::vector<P2pChannel *> &clientRegistry() const { return m_clients; }
    const std::vector<RelayPairSocket *> &relayPairs() const { return m_pairs; }
    const std::list<P2pPortMap *> &mappings() const { return m_maps; }
    P2pChannel *channelForPort(uint32_t localPort) const;
    EventQueue &events() { return m_events; }
    RttEstimator &serverRtt() { return m_rtt; }
    int missCounter() const { return m_missCounter; }
    int skipCounter() const { return m_skipCounter; }
    uint16_t connectionCounter() const { return m_connCounter; }
    int64_t nowMs() const;
    uint32_t timeValue() const;

    // Test hooks (not exported): clock, LAN address, datagram filter, limits.
    // With the manual clock the engine's time moves only by advanceClockForTest;
    // without it, advanceClockForTest adds an offset to the steady clock.
    void setManualClockForTest() { m_clock.setManual(); }
    void advanceClockForTest(int64_t ms)
    {
        m_clock.advance(ms);
        m_delayed.sendDue();
    }
    void setLanAddressForTest(const char *text);
    void setServerPortForTest(uint16_t port) { m_serverPort = port; }
    void setSkipCounterForTest(int n) { m_skipCounter = n; }
    // A channel of the engine's own (as a device endpoint makes for a client)
    // and a relay pair between two new registry records.
    P2pChannel *addChannelForTest() { return newChannel(); }
    RelayPairSocket *addRelayPairForTest(const char *requesterId, const char *targetId);
    // Called for every datagram a channel socket receives; false drops it.
    using InputFilter = std::function<bool(P2pChannel *, uint32_t address, uint16_t port, const uint8_t *, int)>;
    void setChannelInputFilterForTest(InputFilter f) { m_inputFilter = std::move(f); }
    // Feeds a datagram to a handler as if it had arrived.
    void injectEngineDatagramForTest(const uint8_t *data, int length, uint32_t address, uint16_t port);
    void injectChannelDatagramForTest(P2pChannel *channel, const uint8_t *data, int length, uint32_t address,
                                      uint16_t port);
    void injectRelayDatagramForTest(RelayPairSocket *pair, const uint8_t *data, int length, uint32_t address,
                                    uint16_t port);
    int resendCount() const { return m_resends; }
    void setTimerRunning(bool on);

    // Bounds on what a peer can make the engine keep.
    static constexpr size_t kMaxRegistry = 1024;
    static constexpr size_t kMaxPairs = 256;
    static constexpr size_t kMaxDeviceChannels = 64;
    static constexpr size_t kMaxReorder = 64;
    static constexpr size_t kMaxSendQueue = 64;

protected:
    void onReceive(int error) override;

private:
    struct Account
    {
        std::string user;
        std::string password;
        std::vector<std::string> devices;
    };

    bool openCommon(int role, const char *server);
    bool createServerSocket();
    void handleEngineDatagram(const uint8_t *d, int n, uint32_t address, uint16_t port);
    void handleServerDatagram(const uint8_t *d, int n, uint32_t address, uint16_t port);
    void handleChannelDatagram(P2pChannel *c, const uint8_t *d, int n, uint32_t address, uint16_t port);
    void handleRelayDatagram(RelayPairSocket *pair, const uint8_t *d, int n, uint32_t address, uint16_t port);

    // Sending.
    void sendToServer(const uint8_t *d, int n);
    void sendOnPath(P2pChannel *c, int path, const uint8_t *d, int n);
    bool pathTarget(const P2pChannel *c, int path, uint32_t *address, uint16_t *port) const;

    // Login and authentication.
    void sendKeepAlive();
    void authStep1();
    void drawChallenge(uint8_t out[16]);
    void passwordKey(P2pCipher &cipher, const char *password);
    void startUnconnectedChannels();

    // Channels.
    P2pChannel *newChannel();
    void removeChannel(P2pChannel *c);
    void startChannel(P2pChannel *c);
    void sendAddressQuery(P2pChannel *c);
    void sendConnectRequest(P2pChannel *c);
    void startPunch(P2pChannel *c);
    void sendPunchBurst(P2pChannel *c, int delayMs);
    void sendPunchTo(P2pChannel *c, uint8_t code, uint32_t address, uint16_t port, int delayMs);
    int learnPath(P2pChannel *c, uint32_t address, uint16_t port);
    void sendConfirm(P2pChannel *c);
    void onConnected(P2pChannel *c);
    P2pChannel *channelByWord(uint32_t word) const;
    void runEvent(const EventQueue::Entry &e);
    bool isChannel(const P2pChannel *c) const;

    // Reliable transfer.
    void queueAndSend(P2pChannel *c, const uint8_t *d, int n, uint16_t seq, uint8_t index, uint8_t connId,
                      int delayMs);
    void sendTunnelControl(P2pChannel *c, bool open, uint8_t connId);
    void receiveFragment(P2pChannel *c, const uint8_t *d, int n);
    void deliverInOrder(P2pChannel *c, const uint8_t *d, int n);
    bool deliverOne(P2pChannel *c, const uint8_t *d, int n);
    void sendAck(P2pChannel *c, uint16_t seq, uint8_t count, int connId);
    void handleAck(P2pChannel *c, const uint8_t *d, int n);
    void retransmitScan(P2pChannel *c);
    void resend(P2pChannel *c, QueuedFragment &f);
    void closeTunnel(P2pChannel *c, uint8_t connId);
    void openTunnelTo(P2pChannel *c, uint8_t connId, const char *address, uint16_t port);
    void readAgain(P2pChannel *c);

    // Bridging of configuration datagrams.
    void handleTunnelledConfig(P2pChannel *c, const uint8_t *d, int n);

    // Relay server.
    P2pChannel *findRecord(const char *id) const;
    P2pChannel *findOrAddRecord(const char *id, bool *added);
    void removeRecord(P2pChannel *r);
    void noteSource(P2pChannel *r, uint32_t address, uint16_t port);
    const Account *account(const char *user) const;
    std::string ownerOf(const char *deviceId) const;
    RelayPairSocket *pairFor(P2pChannel *requester, P2pChannel *target);
    void serverConnect(const uint8_t *d, int n, uint32_t address, uint16_t port);
    void purgeRegistries();

    int m_role = RoleServer;
    bool m_serving = false;
    std::string m_serverText;
    char m_serverAddr[16] = {};
    uint32_t m_serverAddress = 0;
    uint16_t m_serverPort = P2p::kServerPort;
    char m_ownId[33] = {};
    char m_ownPublicAddr[16] = {};
    char m_lanAddr[16] = {};
    bool m_lanOverride = false;
    bool m_connected = false;
    bool m_serverAuth = false;
    bool m_loginResponseSent = false;
    int m_missCounter = 0;
    uint16_t m_connCounter = 1;
    int m_skipCounter = 0;
    int64_t m_created = 0;
    char m_user[17] = {};
    char m_password[17] = {};
    char m_savedUser[24] = {};
    char m_savedPassword[20] = {};
    uint16_t m_proxyThreshold = 0;
    uint8_t m_challenge[16] = {};
    uint8_t m_send[P2p::kBufferSize] = {};
    uint8_t m_recv[P2p::kBufferSize] = {};
    EventQueue m_events;
    RttEstimator m_rtt;
    std::vector<P2pChannel *> m_channels;
    std::vector<P2pChannel *> m_devices;
    std::vector<P2pChannel *> m_clients;
    std::vector<RelayPairSocket *> m_pairs;
    std::list<P2pPortMap *> m_maps; // newest first
    std::vector<Account> m_accounts;
    P2pCipher m_deviceKey;
    P2pCipher m_clientKey;
    P2pCipher m_passwordKey;
    P2pClock m_clock;
    DelayedSendQueue m_delayed {&m_clock};
    QTimer *m_timer = nullptr;
    int m_timerPeriod = 1;
    InputFilter m_inputFilter;
    int m_resends = 0;
    bool m_inTick = false;
};
