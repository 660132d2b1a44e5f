// FTPStatusForm
