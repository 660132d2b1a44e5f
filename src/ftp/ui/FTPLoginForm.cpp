// FTPLoginForm
