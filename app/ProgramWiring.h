#pragma once

class QThread;
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

// The quit sequence: lets go of the instrument and stops the threads one
// after another. The window first queues the input-off and return-to-local
// commands of a link still open, and its close request; each worker is told
// to stop reading (its tick ends without sitting out read windows), writes
// what is queued while its link is open, closes it, and only then is its
// thread stopped.
void quitProgramThreads(Quellon &window, QThread &third, QThread &serialThread, serialPort &serialWorker,
                        QThread &tcpThread, TcpPort &tcpWorker);
