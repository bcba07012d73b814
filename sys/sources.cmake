melvora_folder(sys)
