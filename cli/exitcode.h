#pragma once

// What quorvel-cli tells its caller. A script can act on the kind of failure:
// retry a silent board, fix a file, reconnect. No failure ever ends with Ok.
namespace ExitCode {

enum Value {
    Ok = 0,
    Differs = 1,        // config-diff: the board and the file differ
    Usage = 2,          // unknown subcommand or option, missing or bad argument
    CannotConnect = 3,  // the TCP connection or the serial port could not be opened
    NoReply = 4,        // the board stayed silent, or the link broke mid-way
    WrongReply = 5,     // the board answered, but wrongly, refused, or runs the wrong mode
    FileRefused = 6,    // a file that cannot be read or written, is malformed, or does not fit the board
    TransferFailed = 7, // a firmware block was not acknowledged or could not be written
    FlashRefused = 8,   // the board answered the flash command with a refusal
    ReadBackDiffers = 9, // the board acknowledged a write but reads back something else
    WrongVersion = 10,  // after an update the board reports an unchanged version, or not the one expected
    DuplicateAddress = 11, // scan: more than one board answered one address
};

} // namespace ExitCode
