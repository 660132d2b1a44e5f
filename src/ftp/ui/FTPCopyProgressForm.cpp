// FTPCopyProgressForm
