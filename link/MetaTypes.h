#pragma once

// Registers the link records with the meta-type system under their own names,
// so they can cross threads in queued connections.
void registerDataPackTypes();   // "DataPack" and "SerialLinkPack"
void registerTcpLinkPackType(); // "TcpLinkPack"
