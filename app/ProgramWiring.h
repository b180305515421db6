#pragma once

class Quellon;
class serialPort;
class TcpPort;

// The connections between the main window and the two link workers, made by
// the program entry once both workers live on their threads: the eight for
// commands, replies, link requests and link reports (automatic, so queued
// across the threads), and the window's request to drop the queued commands
// when it lets go of the link (to each worker once directly, so that a tick
// under way stops at once, and once queued, behind the commands sent before).
void connectWindowAndWorkers(Quellon *window, serialPort *serialWorker, TcpPort *tcpWorker);
