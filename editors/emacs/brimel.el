;;; brimel.el --- Comint and Term programs on a terminal through brimel  -*- lexical-binding: t; -*-

;; Copyright (C) 2026 the brimel authors

;; Author: the brimel authors <brimel@localhost>
;; Maintainer: the brimel authors <brimel@localhost>
;; URL: https://github.com/brimel/brimel
;; Version: 0.4.0
;; Package-Requires: ((emacs "27.1"))
;; Keywords: processes, terminals
;; SPDX-License-Identifier: MIT

;; This file is not part of GNU Emacs.

;;; License:

;; Permission is hereby granted, free of charge, to any person obtaining a
;; copy of this software and associated documentation files (the
;; "Software"), to deal in the Software without restriction, including
;; without limitation the rights to use, copy, modify, merge, publish,
;; distribute, sublicense, and/or sell copies of the Software, and to
;; permit persons to whom the Software is furnished to do so, subject to
;; the following conditions:
;;
;; The above copyright notice and this permission notice shall be included
;; in all copies or substantial portions of the Software.
;;
;; THE SOFTWARE IS PROVIDED "AS IS", WITHOUT WARRANTY OF ANY KIND, EXPRESS
;; OR IMPLIED, INCLUDING BUT NOT LIMITED TO THE WARRANTIES OF
;; MERCHANTABILITY, FITNESS FOR A PARTICULAR PURPOSE AND NONINFRINGEMENT.
;; IN NO EVENT SHALL THE AUTHORS OR COPYRIGHT HOLDERS BE LIABLE FOR ANY
;; CLAIM, DAMAGES OR OTHER LIABILITY, WHETHER IN AN ACTION OF CONTRACT,
;; TORT OR OTHERWISE, ARISING FROM, OUT OF OR IN CONNECTION WITH THE
;; SOFTWARE OR THE USE OR OTHER DEALINGS IN THE SOFTWARE.

;;; Commentary:

;; Where Emacs cannot give a subprocess a pseudo-terminal of its own (a
;; native Windows Emacs running Cygwin programs), it talks to it through
;; pipes, and every program that asks whether it runs on a terminal
;; behaves as if a script drove it: no prompt, no job control, no password
;; prompt.  brimel starts the program on a terminal of its own and relays
;; it through those pipes.
;;
;; `brimel-shell' is `shell' through the relay, and `brimel-comint-run' is
;; `comint-run'.  `brimel-comint-mode' runs the programs named in
;; `brimel-programs' through the relay whenever comint starts them (a Python
;; or SQL REPL, say), and `brimel-command' wraps any program and its
;; arguments for other uses.
;;
;; `brimel-term' and `brimel-ansi-term' are `term' and `ansi-term' through
;; the relay, for full-screen programs (less, vi, htop, ssh); under
;; `brimel-term-mode', `term' and `ansi-term' themselves and Eshell's
;; visual commands use it.  The terminal is of Term's type and size and follows the window; in
;; char mode every key goes to it as typed, so C-c interrupts and C-z
;; suspends the job in it, and in line mode the keys below work as in a
;; comint buffer.  On a native Windows Emacs, Term's and Shell's directory
;; tracking read the runtime's file names (/c/Users, /home/me), converted by
;; the runtime's own cygpath beside the relay.
;;
;; Nothing changes for processes that do not run through the relay, and
;; `unload-feature' leaves Emacs as it was.
;;
;; In a comint buffer C-c C-c interrupts the job running in the program,
;; C-c C-\ quits it, C-c C-z suspends it and C-c C-d sends end-of-file, as
;; keys in a terminal window do: they go to the terminal through the relay's
;; input, so no signal is needed; the buffer shows how the program ended,
;; and the program ends with Emacs or with its buffer.  The terminal has
;; the window's size, and follows it when the window is resized.
;;
;;   (brimel-comint-mode 1)
;;   (brimel-term-mode 1)

;;; Code:

(require 'comint)
(eval-when-compile (require 'cl-lib))

(defgroup brimel nil
  "Run comint and Term programs on a terminal through the brimel relay."
  :group 'processes)

(defcustom brimel-program (or (executable-find "brimel") "brimel")
  "The brimel relay: a file name, or a command found on variable `exec-path'."
  :type 'file)

(defcustom brimel-programs nil
  "Programs that `brimel-comint-mode' runs through the relay.
Each is a program's file name without its directory, such as \"python3\"."
  :type '(repeat string))

(defvar brimel--through-relay nil
  "Non-nil while this package starts a comint program through the relay.")

(defun brimel-command (program &rest arguments)
  "Return the command line to run PROGRAM with ARGUMENTS through the relay.
The terminal does not echo what is sent, as comint shows input itself."
  (append (list brimel-program "-n" program) arguments))

(defun brimel--environment (term columns rows)
  "Return the variables the relay needs to serve a process.
TERM names the terminal's type; it has COLUMNS and ROWS."
  (list (format "VELDRIN_PROCESS_ID=%d" (emacs-pid))
        "BRIMEL_INTERRUPT=1"
        "BRIMEL_EXIT_STATUS=1"
        "BRIMEL_CONTROL=1"
        (format "BRIMEL_WINDOW_SIZE=%dx%d" columns rows)
        (concat "TERM=" term)))

(defun brimel--size (window)
  "Return the columns and rows of WINDOW, as comint and Term count them.
The last column is left for the continuation glyph where there is no fringe."
  (let ((size (window-adjust-process-window-size #'min (list window))))
    (list (max 1 (car size)) (max 1 (cdr size)))))

(defvar brimel--command nil
  "Non-nil while a telnet command is sent, whose bytes are not data.")

(defun brimel--served (process)
  "Return PROCESS, a process, buffer or name, if the relay serves it."
  (let ((process (if (processp process) process
                   (get-buffer-process (or process (current-buffer))))))
    (and process (process-get process 'brimel) process)))

(defun brimel--doubling-coding (coding)
  "Return a coding system that encodes as CODING, then doubles each 0xFF.
The relay reads its input as telnet does, where 0xFF begins a command and
0xFF 0xFF is that byte as data.  As the process's own coding system, it
serves every way Emacs sends a process data; telnet commands are sent with
`brimel--command' bound, and go as they are.  The function that does it
needs nothing of this package, so that processes started before it was
unloaded go on working."
  (let ((name (intern (format "brimel-iac-%s" coding)))
        (double (intern (format "brimel--double-iac-%s" coding))))
    (unless (coding-system-p name)
      (defalias double
        (lambda (&rest _)
          (unless (and (boundp 'brimel--command) brimel--command)
            (let ((bytes (encode-coding-region (point-min) (point-max) coding t)))
              (erase-buffer)
              (insert (replace-regexp-in-string "\377" "\377\377" bytes t t))))))
      (define-coding-system name
        (format "`%s', with every byte 0xFF doubled for the brimel relay." coding)
        :coding-type 'raw-text :mnemonic ?B :eol-type 'unix :pre-write-conversion double))
    name))

(defun brimel--send-size (process columns rows)
  "Send PROCESS's terminal its size, COLUMNS and ROWS, as telnet's NAWS.
Return nil: the relay, not Emacs, sets the size."
  (let* ((size (mapcan (lambda (n) (list (ash n -8) (logand n 255))) (list columns rows)))
         (body (mapcan (lambda (byte) (if (= byte 255) (list 255 255) (list byte))) size))
         (brimel--command t))
    (process-send-string process (apply #'unibyte-string
                                        (append '(255 250 31) body '(255 240))))
    nil))

(defun brimel--window-size (process windows)
  "Send PROCESS's terminal the size that WINDOWS show, as comint would set it.
That is `window-adjust-process-window-size-function''s choice."
  (let ((size (funcall window-adjust-process-window-size-function process windows)))
    (when size
      (brimel--send-size process (max 1 (car size)) (max 1 (cdr size))))))

(defun brimel--serve (process size-function decoding)
  "Mark PROCESS as served by the relay and return it.
SIZE-FUNCTION sends its terminal a window's size; DECODING decodes its output."
  (process-put process 'brimel t)
  (process-put process 'adjust-window-size-function size-function)
  (set-process-coding-system process decoding
                             (brimel--doubling-coding (cdr (process-coding-system process))))
  process)

;;;###autoload
(define-minor-mode brimel-comint-mode
  "Run the programs in `brimel-programs' through the relay in comint."
  :global t)

(defun brimel--exec (exec name buffer command switches)
  "Start a comint process, through the relay where this package asks for it.
EXEC is `comint-exec-1', called with NAME, BUFFER, and COMMAND and SWITCHES
or the command line that runs them through the relay over pipes."
  (if (not (or brimel--through-relay
               (and brimel-comint-mode
                    (member (file-name-nondirectory command) brimel-programs))))
      (funcall exec name buffer command switches)
    (let* ((window (or (get-buffer-window buffer t) (selected-window)))
           (process-connection-type nil)
           (process-environment (append (apply #'brimel--environment "dumb"
                                               (brimel--size window))
                                        process-environment))
           (relayed (apply #'brimel-command command switches)))
      (let ((process (funcall exec name buffer (car relayed) (cdr relayed))))
        ;; The terminal ends each line with CR LF: the decoder takes the CR away
        ;; at once, as a native Windows Emacs does for every process by default
        ;; (`w32-set-default-process-coding-system'); a lone CR stays for comint.
        (brimel--serve process #'brimel--window-size
                       (coding-system-change-eol-conversion
                        (car (process-coding-system process)) 'dos))
        (when (eq system-type 'windows-nt)
          (with-current-buffer buffer
            (when (memq #'shell-directory-tracker comint-input-filter-functions)
              (remove-hook 'comint-input-filter-functions #'shell-directory-tracker t)
              (add-hook 'comint-input-filter-functions #'brimel--track-directory nil t))))
        process))))

(advice-add 'comint-exec-1 :around #'brimel--exec)

(defun brimel--key (process command)
  "Press a key of PROCESS's terminal, where the relay serves PROCESS.
COMMAND is telnet's command byte for it.  Return the process if the key went."
  (let ((process (brimel--served process))
        (brimel--command t))
    (when process
      (process-send-string process (unibyte-string 255 command))
      process)))

(defun brimel--interrupt (process &optional _group)
  "Press the interrupt key (telnet's IP) where the relay serves PROCESS."
  (brimel--key process 244))

(defun brimel--quit (&optional process _group)
  "Press the quit key (telnet's ABORT) where the relay serves PROCESS."
  (brimel--key process 238))

(defun brimel--stop (&optional process _group)
  "Press the suspend key (telnet's SUSP) where the relay serves PROCESS."
  (brimel--key process 237))

;; The keys go through the relay's input, so they work where Emacs cannot
;; signal the relay (a native Windows Emacs) and C-c C-z where it has no
;; SIGTSTP at all.
(add-hook 'interrupt-process-functions #'brimel--interrupt)
(advice-add 'quit-process :before-until #'brimel--quit)
(advice-add 'stop-process :before-until #'brimel--stop)

(defun brimel--send-eof (&optional process)
  "Press the end-of-file key (telnet's xEOF) where the relay serves PROCESS.
Return nil elsewhere, and `process-send-eof' closes the input as usual.
Closing the relay's input would end the program for good: the relay then
sends end-of-file again and again until the terminal closes."
  (brimel--key process 236))

(advice-add 'process-send-eof :before-until #'brimel--send-eof)

;;;###autoload
(defun brimel-shell (&optional buffer)
  "Run an inferior shell on a terminal through the relay, as \\[shell] does.
BUFFER names the buffer, \"*brimel-shell*\" unless given; with a prefix
argument, ask for it."
  (interactive
   (list (and current-prefix-arg
              (read-buffer "Shell buffer: "
                           (generate-new-buffer-name "*brimel-shell*")))))
  (brimel--start (lambda () (shell (or buffer "*brimel-shell*")))))

;;;###autoload
(defun brimel-comint-run (program &optional switches)
  "Run PROGRAM on a terminal through the relay, in comint, as `comint-run'.
SWITCHES are its arguments.  Interactively, read the program and its
arguments, split as a shell would."
  (interactive
   (let ((words (split-string-and-unquote
                 (read-shell-command "Run program through brimel: "))))
     (list (car words) (cdr words))))
  (let ((name (file-name-nondirectory program)))
    (brimel--start (lambda ()
                     (pop-to-buffer-same-window
                      (apply #'make-comint name program nil switches))))))

(defun brimel--start (start)
  "Call the function START with `brimel--through-relay' bound to t.
The comint and Term processes it starts then start through the relay.
Signal an error naming `brimel-program' where there is no relay."
  (unless (executable-find brimel-program)
    (user-error "No brimel relay at \"%s\": set `brimel-program' to its file name"
                brimel-program))
  (let ((brimel--through-relay t))
    (funcall start)))

;;; Terminal emulation

(defvar term-width)                     ; Term's screen, local to its buffers
(defvar term-height)
(defvar term-term-name)
(defvar term-termcap-format)
(defvar term-protocol-version)
(defvar term-command-function)
(declare-function term "term" (program))
(declare-function ansi-term "term" (program &optional new-buffer-name))
(declare-function term-command-hook "term" (string))
(declare-function shell-directory-tracker "shell" (str))

;;;###autoload
(define-minor-mode brimel-term-mode
  "Run Term's programs through the relay, on a terminal of their own.
Those are the programs of `term', `ansi-term' and Eshell's visual commands."
  :global t)

;;;###autoload
(defun brimel-term (program)
  "Start PROGRAM on a terminal through the relay in a Term buffer, as `term'."
  (interactive (progn (require 'term) (eval (cadr (interactive-form #'term)) t)))
  (brimel--start (lambda () (term program))))

;;;###autoload
(defun brimel-ansi-term (program &optional new-buffer-name)
  "Start PROGRAM on a terminal through the relay, as `ansi-term'.
NEW-BUFFER-NAME names the buffer as there."
  (interactive (progn (require 'term) (eval (cadr (interactive-form #'ansi-term)) t)))
  (brimel--start (lambda () (ansi-term program new-buffer-name))))

(defun brimel--term-exec (exec name buffer command switches)
  "Start a Term process, through the relay where this package asks for it.
EXEC is `term-exec-1', called with NAME, BUFFER, COMMAND and SWITCHES where
it does not.  Otherwise the relay starts COMMAND over pipes with no shell
before it: the terminal it makes has Term's type and size, and echoes."
  (if (not (or brimel--through-relay brimel-term-mode))
      (funcall exec name buffer command switches)
    (let* ((size (with-current-buffer buffer (list term-width term-height)))
           (process-environment
            (append (apply #'brimel--environment term-term-name size)
                    (list (concat "TERMINFO=" (brimel--runtime-file-name data-directory))
                          (format term-termcap-format "TERMCAP=" term-term-name
                                  (cadr size) (car size))
                          (format "INSIDE_EMACS=%s,term:%s" emacs-version term-protocol-version))
                    process-environment))
           (process-connection-type nil)
           ;; Term decodes the output itself, escape sequences and all.
           (inhibit-eol-conversion t)
           (coding-system-for-read 'binary))
      (when (eq system-type 'windows-nt)
        (with-current-buffer buffer
          (setq-local term-command-function #'brimel--term-command)))
      (brimel--serve (apply #'start-process name buffer brimel-program command switches)
                     #'brimel--term-window-size 'binary))))

(advice-add 'term-exec-1 :around #'brimel--term-exec)

(defun brimel--term-window-size (process windows)
  "Resize PROCESS's Term screen for WINDOWS, then its terminal to match.
Term's own size function sets the screen's size, which the relay is sent."
  (funcall window-adjust-process-window-size-function process windows)
  (brimel--send-size process term-width term-height))

(defun brimel--cygpath (how file)
  "Return FILE converted by the relay's runtime's cygpath with option HOW.
Return nil where there is no such cygpath beside the relay, or it fails."
  (let* ((relay (executable-find brimel-program))
         (cygpath (and relay (locate-file "cygpath" (list (file-name-directory relay))
                                          exec-suffixes #'file-executable-p))))
    (with-temp-buffer
      (and cygpath (eq 0 (call-process cygpath nil '(t nil) nil how file))
           (buffer-substring (point-min) (progn (goto-char (point-min)) (line-end-position)))))))

(defun brimel--runtime-file-name (file)
  "Return FILE as the programs of the relay's runtime name it.
A native Windows Emacs names it the Windows way; elsewhere, or without
the runtime's cygpath, it is returned as it is."
  (or (and (eq system-type 'windows-nt) (brimel--cygpath "-u" file)) file))

(defvar brimel--native-names (make-hash-table :test #'equal)
  "The runtime's directory names converted so far, and what they became.")

(defun brimel--native-file-name (file)
  "Return FILE, named as the relay's runtime names it, as Emacs names it.
On a native Windows Emacs the runtime's cygpath converts it, once; elsewhere
it is the same name.  Return nil where it cannot be converted."
  (if (not (eq system-type 'windows-nt))
      file
    (or (gethash file brimel--native-names)
        (let ((native (brimel--cygpath "-m" file)))
          (and native (puthash file native brimel--native-names))))))

(defun brimel--term-command (string)
  "Act on STRING, a message from the program in Term, as Term does.
Its directory, which it names as the runtime does, is converted first,
and one that Emacs cannot reach is left alone rather than raise an error."
  (if (not (string-prefix-p "/" string))
      (term-command-hook string)
    (let ((directory (brimel--native-file-name (substring string 1))))
      (when (and directory (file-directory-p directory))
        (cd directory)))))

(defun brimel--track-directory (input)
  "Follow cd, pushd and popd in INPUT as `shell-directory-tracker' does.
The directories are named as the relay's runtime names them."
  (let ((shell-cd (symbol-function 'shell-cd)))
    (cl-letf (((symbol-function 'shell-cd)
               (lambda (directory)
                 (funcall shell-cd (or (brimel--native-file-name directory) directory)))))
      (shell-directory-tracker input))))

(defun brimel-unload-function ()
  "Leave Emacs as it was before this package was loaded.
Processes the relay still serves go on, with the size they have."
  (brimel-comint-mode -1)
  (brimel-term-mode -1)
  (remove-hook 'interrupt-process-functions #'brimel--interrupt)
  (pcase-dolist (`(,function . ,advice)
                 '((comint-exec-1 . brimel--exec) (term-exec-1 . brimel--term-exec)
                   (quit-process . brimel--quit) (stop-process . brimel--stop)
                   (process-send-eof . brimel--send-eof)))
    (advice-remove function advice))
  (dolist (process (process-list))
    (when (process-get process 'brimel)
      (process-put process 'adjust-window-size-function nil)
      (process-put process 'brimel nil)))
  (dolist (buffer (buffer-list))
    (with-current-buffer buffer
      (when (memq #'brimel--track-directory comint-input-filter-functions)
        (remove-hook 'comint-input-filter-functions #'brimel--track-directory t)
        (add-hook 'comint-input-filter-functions #'shell-directory-tracker nil t))
      (when (eq (bound-and-true-p term-command-function) #'brimel--term-command)
        (kill-local-variable 'term-command-function))))
  nil)

(provide 'brimel)
;;; brimel.el ends here
